#pragma once
/// Icons of files as PNG images.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tessiva::platform {

/// The side, in pixels, of the square icons the program sends, on every system.
inline constexpr int ICON_SIDE = 32;

/// The icon number `index` of the file `path` (an executable, a library or an icon
/// file), taken at ICON_SIDE x ICON_SIDE pixels and written as a PNG file. None when the file cannot
/// be read, has no icon at that index, or its bitmap cannot be read (Windows only;
/// Linux icons come from the icon theme through `describe_application`).
[[nodiscard]] std::optional<std::vector<std::byte>> extract_icon_png(const std::string& path, int index);

}  // namespace tessiva::platform
