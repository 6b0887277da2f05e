#pragma once
/// Known folders of the user.

#include <optional>
#include <string>

namespace tessiva::platform {

enum class KnownFolder {
  RoamingAppData,  ///< FOLDERID_RoamingAppData; stand-in: $XDG_CONFIG_HOME or ~/.config
  LocalAppData,    ///< FOLDERID_LocalAppData; stand-in: $XDG_DATA_HOME or ~/.local/share
  Documents,       ///< FOLDERID_Documents; stand-in: $XDG_DOCUMENTS_DIR or ~/Documents
  UserPrograms,    ///< FOLDERID_UserProgramFiles; the stand-in has none
};

/// The folder's path, or none when it cannot be determined (a failed lookup, a path
/// that is empty or not valid UTF-16).
[[nodiscard]] std::optional<std::string> known_folder_path(KnownFolder folder);

}  // namespace tessiva::platform
