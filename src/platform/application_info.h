#pragma once
/// What the desktop says about an application file: its display name and icon.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tessiva::platform {

struct ApplicationDescription {
  /// The application's display name; none when the system gives it none.
  std::optional<std::string> name;
  /// Its icon at 32 x 32 pixels as a PNG file; none when it has none.
  std::optional<std::vector<std::byte>> icon_png;
};

/// The name and icon of the application file `path`. On Windows, the description of
/// its version resource and its first icon. On Linux, for a ".desktop" file the entry's
/// localized name and icon; for any other file those of the desktop entry that runs it
/// (its Exec program or TryExec is that file), none when no entry does.
[[nodiscard]] ApplicationDescription describe_application(const std::string& path);

}  // namespace tessiva::platform
