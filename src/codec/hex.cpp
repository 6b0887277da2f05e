#include "codec/hex.h"

namespace tessiva::codec {
namespace {

constexpr char DIGITS[] = "0123456789abcdef";

/// The value of one hexadecimal digit, or -1.
constexpr int digit_value(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string hex_encode(std::string_view bytes) {
  std::string text(bytes.size() * 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    text[2 * i] = DIGITS[b >> 4];
    text[2 * i + 1] = DIGITS[b & 0x0F];
  }
  return text;
}

std::expected<std::string, HexError> hex_decode(std::string_view text) {
  if (text.size() % 2 != 0) return std::unexpected(HexError::odd_length);
  std::string bytes(text.size() / 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int high = digit_value(text[2 * i]);
    const int low = digit_value(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::unexpected(HexError::invalid_digit);
    bytes[i] = static_cast<char>((high << 4) | low);
  }
  return bytes;
}

}  // namespace tessiva::codec
