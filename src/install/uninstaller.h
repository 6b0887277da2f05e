#pragma once
/// The per-user uninstallation: the registry keys go at once, the install folder goes
/// in the background once the program no longer runs from it.

#include <string>
#include <string_view>

#include "install/environment.h"

namespace tessiva::install {

/// The removal runs without a console or a console window.
inline constexpr platform::CreationOptions REMOVAL_OPTIONS =
    platform::CreationOptions::NoConsole | platform::CreationOptions::NoWindow;

/// How often, after its first attempt, the removal command tries again (about once a
/// second) while the folder is still there, and so how long an uninstaller may keep
/// its executable in use (its last message box open) before the folder stays.
inline constexpr int REMOVAL_RETRIES = 300;

/// The command-processor text that removes `install_folder` (a folder named
/// `messages::PRODUCT_NAME`): a wait of about three seconds, the removal, then further
/// attempts about once a second while the folder still exists. The command must run
/// with the programs folder as its working folder: a path holding '%' or '!', which
/// the command processor would expand, is replaced by the folder's bare name.
[[nodiscard]] std::string removal_command(std::string_view install_folder);

/// Removes the host keys and the uninstall entry, then starts the removal of the
/// install folder, and returns EXIT_DONE, or EXIT_DECLINED (nothing removed) when the
/// user does not confirm. `quiet` shows no message box. Settings, saved files and
/// partial transfers are not touched.
[[nodiscard]] int run_uninstaller(InstallEnvironment& environment, bool quiet);

}  // namespace tessiva::install
