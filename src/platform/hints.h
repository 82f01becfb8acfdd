// Hints to the processor that change no result, written once for every
// compiler: each falls back to doing nothing, or to what the standard
// library offers, where the compiler has no way to say it.
#ifndef LUMO_PLATFORM_HINTS_H_
#define LUMO_PLATFORM_HINTS_H_

#include <thread>

#if defined(_MSC_VER) && !defined(__clang__) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#endif

namespace lumo::platform {

// Tells the processor the caller is spinning on a word another thread
// writes, so that it yields the core's shared resources meanwhile.
inline void spin_pause() noexcept {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
  __builtin_ia32_pause();
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  _mm_pause();
#else
  std::this_thread::yield();
#endif
}

// Asks for the cache line holding `address` to be read ahead of its use.
inline void prefetch(const void* address) noexcept {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  _mm_prefetch(static_cast<const char*>(address), _MM_HINT_T0);
#else
  static_cast<void>(address);
#endif
}

}  // namespace lumo::platform

#endif  // LUMO_PLATFORM_HINTS_H_
