#pragma once
/// Which vector instructions the processor offers, for the hot loops that have a faster
/// version for them (chunk decoding, the frame's string scan).

namespace tessiva::codec {

/// SSSE3 byte shuffles.
[[nodiscard]] bool has_ssse3() noexcept;

/// AVX2, with the system saving the 256-bit registers.
[[nodiscard]] bool has_avx2() noexcept;

/// Which of the features the functions above may report.
struct AllowedFeatures {
  bool ssse3 = true;
  bool avx2 = true;
};

/// Makes the functions above report a feature only when `allowed` lets them, so that
/// tests cover every version of a loop on one machine. Returns the previous setting.
AllowedFeatures allow_features(AllowedFeatures allowed) noexcept;

}  // namespace tessiva::codec
