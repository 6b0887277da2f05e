#pragma once
// Runs a test body once per version of the vector loops: the widest this processor
// has, then each narrower one down to the portable code, so every version is tested
// on one machine.

#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "codec/cpu_features.h"

namespace tessiva::test {

template <class Body>
void for_each_vector_path(Body&& body) {
  const std::array<std::pair<const char*, codec::AllowedFeatures>, 3> levels{{
      {"all vector versions", {.ssse3 = true, .avx2 = true}},
      {"without AVX2", {.ssse3 = true, .avx2 = false}},
      {"without SSSE3 and AVX2", {.ssse3 = false, .avx2 = false}},
  }};
  for (const auto& [name, allowed] : levels) {
    SCOPED_TRACE(name);
    // Restored however the body ends (a failed ASSERT returns from it early).
    struct Restore {
      codec::AllowedFeatures previous;
      ~Restore() { codec::allow_features(previous); }
    } restore{codec::allow_features(allowed)};
    body();
  }
}

}  // namespace tessiva::test
