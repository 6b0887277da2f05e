#pragma once
/// Base64: the standard padded encoding used for icons, and the tolerant decoding of
/// transfer chunk data.
///
/// Chunk data may use the standard ("+", "/") or the URL-safe ("-", "_") alphabet, even
/// both in one text, padded or not. The decoder accepts exactly this:
/// - any number of "=" at the very end of the text is ignored;
/// - every other character must belong to one of the two alphabets ("+" and "-" are
///   62, "/" and "_" are 63): white space, line breaks, "=" elsewhere and non-ASCII
///   bytes are refused;
/// - after the trailing "=" are removed, a length of 4k+1 characters is refused;
/// - a text ending in two (three) characters of a partial group must leave the last
///   4 (2) bits of its last character zero;
/// - the empty text, and a text of "=" alone, decode to zero bytes.

#include <cstddef>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessiva::codec {

/// Why chunk data could not be decoded. When a text has several faults, the first of
/// these that applies is reported.
enum class DecodeError {
  /// After the trailing "=" are removed, one character is left over (4k+1 characters).
  invalid_length,
  /// A character outside both alphabets, or "=" before the end.
  invalid_character,
  /// The unused low bits of the final character are not zero.
  nonzero_spare_bits,
};

/// The standard base64 of `bytes`: RFC 4648 alphabet, padded with "=" to a multiple of
/// four characters, no line breaks.
[[nodiscard]] std::string base64_encode(std::span<const std::byte> bytes);

/// A buffer of this many bytes is large enough for the decoding of any text of
/// `text_size` characters (it does not depend on the text's contents).
[[nodiscard]] constexpr std::size_t base64_decoded_size_max(std::size_t text_size) noexcept {
  return text_size / 4 * 3 + 2;
}

/// The number of bytes that chunk data of this text decodes to, counted from its length
/// alone: trailing "=" are ignored, and none when 4k+1 characters are left. Whether the
/// characters are acceptable is for the decoder to tell.
[[nodiscard]] std::optional<std::size_t> base64_decoded_size(std::string_view text) noexcept;

/// `text` without the trailing "=" that chunk data may end in.
[[nodiscard]] std::string_view base64_without_padding(std::string_view text) noexcept;

/// Decodes chunk data into `out`, which must hold at least
/// `base64_decoded_size_max(text.size())` bytes. Returns the number of decoded bytes at
/// the start of `out`. On failure the contents of `out` are unspecified.
[[nodiscard]] std::expected<std::size_t, DecodeError> base64_decode(
    std::string_view text, std::span<std::byte> out) noexcept;

/// Decodes chunk data over itself: the bytes land at the start of `text`, and the
/// number of them is returned. Every step of the decoder stores its bytes only where
/// it has read already, so no character is overwritten before it is read. On failure
/// the contents of `text` are unspecified.
[[nodiscard]] std::expected<std::size_t, DecodeError> base64_decode_in_place(std::span<char> text) noexcept;

}  // namespace tessiva::codec
