#pragma once
/// The shell's known folders of the user, and the per-user programs folder that the
/// Windows installer and self-check use.

#include <optional>
#include <string>

#include "platform/os_error.h"

namespace tessiva::platform {

enum class KnownFolder {
  RoamingAppData,  ///< FOLDERID_RoamingAppData
  LocalAppData,    ///< FOLDERID_LocalAppData
  Documents,       ///< FOLDERID_Documents
};

/// The folder's path, or none when it cannot be determined (a failed lookup, a path
/// that is empty or not valid UTF-16).
[[nodiscard]] std::optional<std::string> known_folder_path(KnownFolder folder);

/// The per-user programs folder (FOLDERID_UserProgramFiles), looked up without checking
/// that it exists: on a fresh profile it often does not yet, and the installer creates
/// it. Where the system does not know that folder at all, its documented default,
/// "Programs" inside the local application data folder. The error says why neither
/// could be had.
[[nodiscard]] Result<std::string> user_programs_folder();

}  // namespace tessiva::platform
