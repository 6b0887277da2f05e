// Compares the chunk decoder (its vector version decoding over the text itself, and its
// table version) with a plain one written from the rules, on arbitrary text; any
// difference in acceptance, error or bytes aborts.
//
// Build and run (from the repository root):
//   clang++-19 -std=c++23 -O1 -g -fsanitize=fuzzer,address,undefined -Isrc fuzz/fuzz_base64.cpp src/codec/base64.cpp \
//       src/codec/cpu_features.cpp -o fuzz_base64
//   ./fuzz_base64 -max_total_time=30

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/base64.h"
#include "codec/cpu_features.h"
#include "../tests/reference_base64.h"

namespace {

using tessiva::test::reference_base64_decode;

/// Most arbitrary byte strings fail on their first character. When the first input byte
/// is odd, the rest is mapped onto the two alphabets, with "=" and a few stray
/// characters now and then, so that the decoding paths are reached as well.
std::string make_text(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || (data[0] & 1) == 0) return {reinterpret_cast<const char*>(data), size};
  constexpr std::string_view CHARS =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/-_"
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/-_"
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/-_"
      "=== \n\x80";
  std::string text;
  for (std::size_t i = 1; i < size; ++i) text += CHARS[data[i] % CHARS.size()];
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = make_text(data, size);
  const auto expected = reference_base64_decode(text);

  // Once over a copy of the text itself, as chunks are decoded, and once into a buffer
  // of exactly the advertised size without the vector steps, so that both versions are
  // compared with the reference and the sanitizer sees any write past either buffer.
  std::vector<char> in_place(text.begin(), text.end());
  const auto n = tessiva::codec::base64_decode_in_place(in_place);
  std::vector<char> exact(tessiva::codec::base64_decoded_size_max(text.size()));
  const auto all = tessiva::codec::allow_features({.ssse3 = false, .avx2 = false});
  const auto m = tessiva::codec::base64_decode(text, std::as_writable_bytes(std::span(exact)));
  tessiva::codec::allow_features(all);

  for (const auto& [result, buffer] : {std::pair{n, &in_place}, std::pair{m, &exact}}) {
    if (result.has_value() != expected.has_value()) std::abort();
    if (!result) {
      if (result.error() != expected.error()) std::abort();
      continue;
    }
    if (*result != expected->size()) std::abort();
    if (!expected->empty() && std::memcmp(buffer->data(), expected->data(), expected->size()) != 0) std::abort();
  }
  return 0;
}
