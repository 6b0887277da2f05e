#pragma once
/// Unicode character properties used by validation: the White_Space set, blank text,
/// and counting characters (code points) of UTF-8 text.

#include <cstddef>
#include <string_view>

namespace tessiva::text {

/// True for the 25 code points of the Unicode White_Space property (U+0009 to U+000D,
/// U+0020, U+0085, U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F,
/// U+3000).
[[nodiscard]] constexpr bool is_white_space(char32_t c) noexcept {
  if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
  if (c < 0x85) return false;
  if (c <= 0xA0) return c == 0x85 || c == 0xA0;
  if (c < 0x1680) return false;
  if (c == 0x1680) return true;
  if (c >= 0x2000 && c <= 0x200A) return true;
  return c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

/// True when `utf8` is empty or holds only white space. A malformed byte counts as a
/// character that is not white space.
[[nodiscard]] bool is_blank(std::string_view utf8) noexcept;

/// The number of code points in well-formed UTF-8 (for malformed input, the number of
/// bytes that are not continuation bytes).
[[nodiscard]] std::size_t code_point_count(std::string_view utf8) noexcept;

/// `utf8` without its leading and trailing white space.
[[nodiscard]] std::string_view trim_white_space(std::string_view utf8) noexcept;

}  // namespace tessiva::text
