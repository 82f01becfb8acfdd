// The processor's vector instructions, asked of it in the way the compiler
// offers: GCC and Clang read them once at start-up; with MSVC, CPUID and
// XGETBV tell whether the processor has AVX2 and the system saves the
// registers it uses.
#include "platform/platform.h"

#if defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
#include <immintrin.h>
#include <intrin.h>
#endif

namespace lumo::platform {

bool has_avx2() noexcept {
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
  return __builtin_cpu_supports("avx2");
#elif defined(_MSC_VER) && defined(_M_X64)
  int registers[4];
  __cpuid(registers, 0);
  if (registers[0] < 7) return false;
  __cpuid(registers, 1);
  const bool osxsave = (registers[2] & (1 << 27)) != 0;
  const bool avx = (registers[2] & (1 << 28)) != 0;
  // The system saves the SSE and AVX registers (XCR0 bits 1 and 2).
  if (!osxsave || !avx || (_xgetbv(0) & 0x6) != 0x6) return false;
  __cpuidex(registers, 7, 0);
  return (registers[1] & (1 << 5)) != 0;
#else
  return false;
#endif
}

}  // namespace lumo::platform
