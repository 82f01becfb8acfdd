#include "engine/config/thread_count.h"

#include <algorithm>

#include "platform/platform.h"

namespace lumo {

std::size_t available_threads() {
  const std::size_t count = platform::usable_processors();
  return count == 0 ? 1 : count;
}

std::optional<std::size_t> parse_thread_count(std::string_view text) {
  const auto is_space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  std::size_t count = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    count = std::min(count * 10 + static_cast<std::size_t>(c - '0'), kMaxThreads + 1);
  }
  if (count == 0) return std::nullopt;
  return std::min(count, kMaxThreads);
}

}  // namespace lumo
