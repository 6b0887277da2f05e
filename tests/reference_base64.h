#pragma once
// A plain base64 decoder written from the rules, one character at a time: the reference
// that the unit tests and the fuzz target compare the chunk decoder with. Both alphabets
// are accepted, padding is optional, and the spare bits of the last character must be
// zero.

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "codec/base64.h"

namespace tessiva::test {

inline std::expected<std::string, codec::DecodeError> reference_base64_decode(std::string_view text) {
  using codec::DecodeError;
  constexpr std::string_view URL_SAFE =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string t(text);
  while (!t.empty() && t.back() == '=') t.pop_back();
  if (t.size() % 4 == 1) return std::unexpected(DecodeError::invalid_length);
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  for (char c : t) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
    const std::size_t v = URL_SAFE.find(c);
    if (v == std::string_view::npos) return std::unexpected(DecodeError::invalid_character);
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  if ((bits & ((1u << count) - 1)) != 0) return std::unexpected(DecodeError::nonzero_spare_bits);
  return out;
}

}  // namespace tessiva::test
