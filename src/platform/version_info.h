#pragma once
/// The description that a file's version resource gives it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessiva::platform {

/// The FileDescription of the version resource of `path`: first in the language and
/// code page of the resource's first translation, then in US English with the Unicode
/// code page (040904b0). Texts that are empty after trimming are passed over. None when
/// the file has no version resource or no usable description (Windows only).
[[nodiscard]] std::optional<std::string> file_description(const std::string& path);

/// The query path of the FileDescription for one translation:
/// "\StringFileInfo\" + language and code page as 4 lower-case hex digits each +
/// "\FileDescription".
[[nodiscard]] std::u16string description_query(std::uint16_t language, std::uint16_t code_page);

/// A description as the resource holds it: the units up to the first NUL (all of them
/// without one), decoded with U+FFFD for bad units, without white space at either end.
[[nodiscard]] std::string description_text(std::u16string_view units);

}  // namespace tessiva::platform
