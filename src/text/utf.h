#pragma once
/// Conversion between UTF-8 (all text inside the program), UTF-16 (everything handed
/// to or received from Windows) and UTF-32 (text worked on character by character).
/// Strict forms refuse malformed input, for text
/// that becomes a path or an identifier; lossy forms put U+FFFD in place of each bad
/// unit, for text that is only shown.

#include <optional>
#include <string>
#include <string_view>

namespace tessiva::text {

/// True when `s` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above
/// U+10FFFF).
[[nodiscard]] bool is_valid_utf8(std::string_view s) noexcept;

/// UTF-16 to UTF-8; none when `s` holds an unpaired surrogate.
[[nodiscard]] std::optional<std::string> utf16_to_utf8(std::u16string_view s);

/// UTF-16 to UTF-8 with U+FFFD for every unpaired surrogate.
[[nodiscard]] std::string utf16_to_utf8_lossy(std::u16string_view s);

/// UTF-8 to UTF-16; none when `s` is not well-formed UTF-8.
[[nodiscard]] std::optional<std::u16string> utf8_to_utf16(std::string_view s);

/// UTF-8 to UTF-16 with U+FFFD for every maximal ill-formed subsequence.
[[nodiscard]] std::u16string utf8_to_utf16_lossy(std::string_view s);

/// UTF-8 to Unicode scalar values with U+FFFD for every maximal ill-formed subsequence.
[[nodiscard]] std::u32string utf8_to_utf32_lossy(std::string_view s);

/// Code points to UTF-8 with U+FFFD for every value that is not a scalar value (a
/// surrogate or anything above U+10FFFF).
[[nodiscard]] std::string utf32_to_utf8_lossy(std::u32string_view s);

}  // namespace tessiva::text
