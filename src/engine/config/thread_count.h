// The thread count a caller states, and the processors there are: what a
// build or a conversion may use. A count past kMaxThreads is read as it.
#ifndef LUMO_ENGINE_CONFIG_THREAD_COUNT_H_
#define LUMO_ENGINE_CONFIG_THREAD_COUNT_H_

#include <cstddef>
#include <optional>
#include <string_view>

namespace lumo {

// The processors this process may run on.
std::size_t available_threads();

// The most threads a thread count asks for.
inline constexpr std::size_t kMaxThreads = 1024;

// The thread count `text` states: a plain positive decimal number, with
// ASCII white space allowed on either side, larger ones counting as
// kMaxThreads; nullopt for anything else (a sign, other characters, zero,
// an empty text).
std::optional<std::size_t> parse_thread_count(std::string_view text);

}  // namespace lumo

#endif  // LUMO_ENGINE_CONFIG_THREAD_COUNT_H_
