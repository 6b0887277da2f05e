#include "codec/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace tessiva::codec {
namespace {

struct Features {
  bool ssse3 = false;
  bool avx2 = false;
};

/// Asked once, at the first use: the processor query is slow in virtual machines
/// (about 5 microseconds), and the compiler's own detection would run it several
/// times as a static constructor, on every launch of the host.
const Features& features() noexcept {
  static const Features detected = [] {
    Features f;
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return f;
    f.ssse3 = (ecx & bit_SSSE3) != 0;
    // AVX2 needs the system to save the upper halves of the registers too (XCR0 bits
    // 1 and 2), which it says through OSXSAVE and XGETBV.
    if ((ecx & bit_OSXSAVE) == 0 || (ecx & bit_AVX) == 0) return f;
    unsigned xcr0 = 0, xcr0_high = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
    if ((xcr0 & 0x6) != 0x6) return f;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return f;
    f.avx2 = (ebx & bit_AVX2) != 0;
#endif
    return f;
  }();
  return detected;
}

AllowedFeatures allowed_features;

}  // namespace

bool has_ssse3() noexcept { return allowed_features.ssse3 && features().ssse3; }

bool has_avx2() noexcept { return allowed_features.avx2 && features().avx2; }

AllowedFeatures allow_features(AllowedFeatures allowed) noexcept {
  const AllowedFeatures previous = allowed_features;
  allowed_features = allowed;
  return previous;
}

}  // namespace tessiva::codec
