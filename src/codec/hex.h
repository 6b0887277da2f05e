#pragma once
/// Hexadecimal text of bytes: how the launch job crosses the command line.

#include <expected>
#include <string>
#include <string_view>

namespace tessiva::codec {

/// Why a hexadecimal text could not be decoded.
enum class HexError {
  odd_length,
  invalid_digit,
};

/// Two lower-case hexadecimal digits per byte, high nibble first, no separators.
[[nodiscard]] std::string hex_encode(std::string_view bytes);

/// The bytes of a text made only of pairs of hexadecimal digits (either case). Signs,
/// prefixes such as "0x", white space and separators are all refused.
[[nodiscard]] std::expected<std::string, HexError> hex_decode(std::string_view text);

}  // namespace tessiva::codec
