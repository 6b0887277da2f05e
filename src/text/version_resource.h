#pragma once
/// The texts of a version resource (the block of a Windows program file that names and
/// describes it), as pure functions so that they are tested on every host.

#include <cstdint>
#include <string>
#include <string_view>

namespace tessiva::text {

/// The query path of the FileDescription for one translation:
/// "\StringFileInfo\" + language and code page as 4 lower-case hex digits each +
/// "\FileDescription".
[[nodiscard]] std::u16string description_query(std::uint16_t language, std::uint16_t code_page);

/// A description as the resource holds it: the units up to the first NUL (all of them
/// without one), decoded with U+FFFD for bad units, without white space at either end.
[[nodiscard]] std::string description_text(std::u16string_view units);

}  // namespace tessiva::text
