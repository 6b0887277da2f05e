#pragma once
/// The shell's known folders of the user.

#include <optional>
#include <string>

namespace tessiva::platform {

enum class KnownFolder {
  RoamingAppData,  ///< FOLDERID_RoamingAppData
  LocalAppData,    ///< FOLDERID_LocalAppData
  Documents,       ///< FOLDERID_Documents
};

/// The folder's path, or none when it cannot be determined (a failed lookup, a path
/// that is empty or not valid UTF-16).
[[nodiscard]] std::optional<std::string> known_folder_path(KnownFolder folder);

}  // namespace tessiva::platform
