#pragma once
/// The handlers (default applications and the others) that the system has registered
/// for a file type, as the host lists them.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessiva::platform {

/// At most this many handlers are listed for one file type, on every system.
inline constexpr std::size_t MAX_HANDLERS = 101;

/// One listed handler.
struct HandlerInfo {
  /// The handler's identifier (Windows: the association handler's name; Linux: the
  /// desktop file id), UTF-8. Never empty.
  std::string id;
  /// The display name. Never empty.
  std::string name;
  /// The handler's icon as a PNG file; none when icons were not asked for or none
  /// could be had.
  std::optional<std::vector<std::byte>> icon_png;
  /// The system recommends it for the type.
  bool recommended = false;

  friend bool operator==(const HandlerInfo&, const HandlerInfo&) = default;
};

/// The handlers registered for "." + `ext` (`ext` lower case, without the dot), in
/// the system's order, at most MAX_HANDLERS; handlers whose name or display name cannot be read
/// are left out. With `icons`, each gets its icon where one can be had. Failures of the
/// system shorten the list; they are never errors. On Linux: the desktop entries of the
/// extension's content type, the default first.
[[nodiscard]] std::vector<HandlerInfo> handler_infos(std::string_view ext, bool icons);

}  // namespace tessiva::platform
