#pragma once
/// The program's own folders and the user's documents folder.

#include <optional>
#include <string>
#include <string_view>

#include "platform/os_error.h"

namespace tessiva::platform {

/// The folders the program keeps its files in, and the one it saves into by default.
enum class ProgramFolder {
  /// Where config.json lives: "<roaming application data>\<product>" on Windows,
  /// "$XDG_CONFIG_HOME/<product in lower case>" (default ~/.config) on Linux.
  Settings,
  /// Where the partial files of transfers live: "<local application data>\<product>\transfers"
  /// on Windows, "$XDG_CACHE_HOME/<product in lower case>/transfers" (default ~/.cache) on Linux.
  Transfers,
  /// The user's documents folder: the shell's Documents folder on Windows, the one that
  /// the XDG user-dirs configuration names on Linux (~/Documents when it names none).
  Documents,
  /// Where the troubleshooting log lives: "<local application data>\<product>\logs" on
  /// Windows, "$XDG_STATE_HOME/<product in lower case>" (default ~/.local/state) on Linux.
  /// On Windows the local application data folder is the one LOCALAPPDATA names when
  /// that is an existing folder's absolute path, so that a host that only says "hello"
  /// does not load the shell to find its log.
  Logs,
};

/// The path of `folder` for the program called `product`, without creating anything;
/// none when it cannot be determined (a failed lookup, no home folder, a path that
/// cannot be used).
[[nodiscard]] std::optional<std::string> program_folder(ProgramFolder folder, std::string_view product);

}  // namespace tessiva::platform
