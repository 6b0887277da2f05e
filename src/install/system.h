#pragma once
/// The installer and the uninstaller as the user starts them, on the running system
/// (install/<system>/).

#include <string>
#include <vector>

namespace tessiva::install {

/// Exit codes of both flows, on every system.
inline constexpr int EXIT_DONE = 0;
inline constexpr int EXIT_FAILED = 1;
inline constexpr int EXIT_DECLINED = 2;

/// Installs or updates the running executable for the current user (`run_installer`
/// against the real system); returns the exit code. Where the system has no per-user
/// installation yet, says so in one line on standard error and returns `EXIT_FAILED`.
/// `sandboxes`: the app ids of the browser sandboxes the user opted to set up ("--sandbox").
/// `per_user` ("--per-user"): install for the user even where Tessiva is installed for
/// all users (Windows; the Linux installer has its own rule for the package).
[[nodiscard]] int install_for_user(bool quiet, const std::vector<std::string>& sandboxes, bool per_user = false);

/// Removes the installation of the current user (`run_uninstaller`); the same for a
/// system without one.
[[nodiscard]] int uninstall_for_user(bool quiet, const std::vector<std::string>& sandboxes);

}  // namespace tessiva::install
