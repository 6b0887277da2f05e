#pragma once
/// Icons of program files (executables, libraries, icon files) as PNG images. Linux
/// icons come from the icon theme instead (`describe_application`).

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/icons.h"

namespace tessiva::platform {

/// The icon number `index` of the file `path` (an executable, a library or an icon
/// file), taken at ICON_SIDE x ICON_SIDE pixels and written as a PNG file. None when the file cannot
/// be read, has no icon at that index, or its bitmap cannot be read.
[[nodiscard]] std::optional<std::vector<std::byte>> extract_icon_png(const std::string& path, int index);

}  // namespace tessiva::platform
