#pragma once
/// The per-user uninstallation: the registry keys and the installed files go at once.
/// A file that is still in use (the uninstaller's own executable, or one a host still
/// runs) leaves the install folder under a name of its own and is deleted in the
/// background once it is free; nothing else is removed later, so that an install made
/// in the meantime stays whole.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "install/windows/environment.h"

namespace tessiva::install {

/// The removal runs without a console or a console window.
inline constexpr platform::CreationOptions REMOVAL_OPTIONS =
    platform::CreationOptions::NoConsole | platform::CreationOptions::NoWindow;

/// How often, after its first attempt, the removal command tries again (about once a
/// second) to delete a file still in use, and so how long an uninstaller may keep its
/// executable in use (its last message box open) before the file stays.
inline constexpr int REMOVAL_RETRIES = 300;

/// The name, in the programs folder, that the `number`th installed file still in use
/// gets from the uninstaller with process id `process_id`.
[[nodiscard]] std::string removed_file_name(std::uint32_t process_id, int number);

/// The command-processor text that deletes `files`, bare names in its working folder
/// (the programs folder, so that no path the processor would expand, with '%' or '!',
/// appears): a wait of about three seconds, then for each file its deletion and
/// further attempts about once a second while it is still there; then, when
/// `folder` is not empty, the removal of that folder if it is empty by then.
[[nodiscard]] std::string removal_command(const std::vector<std::string>& files, std::string_view folder);

/// Removes the host keys and the uninstall entry, then the installed files and the
/// install folder, when empty; a file still in use is moved out of the folder and
/// deleted by a command started in the background. Returns EXIT_DONE, or
/// EXIT_DECLINED (nothing removed) when the user does not confirm. `quiet` shows no
/// message box. Settings, saved files and partial transfers are not touched, nor any
/// other file in the install folder. The program installed for all users removes
/// nothing: it says how to remove it (on standard error when `quiet`) and returns
/// EXIT_FAILED.
[[nodiscard]] int run_uninstaller(InstallEnvironment& environment, bool quiet);

}  // namespace tessiva::install
