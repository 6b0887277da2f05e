#pragma once
/// What the per-user installer, the uninstaller and the self-check need to know about a
/// machine-wide installation (install/windows/machine_wide.h) beside the per-user one:
/// whether the running program is the machine-wide copy, which version is newer, and
/// how to tell the user.

#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/language.h"
#include "platform/windows/message_box.h"

namespace tessiva::install {

class InstallEnvironment;

/// The exit code of a per-user install refused because Tessiva is installed for all
/// users (quiet, without "--per-user").
inline constexpr int EXIT_INSTALLED_FOR_ALL_USERS = 3;

/// A machine-wide installation as its key (`MACHINE_KEY`) describes it.
struct MachineInstall {
  /// The install folder as the key holds it (with a backslash at the end).
  std::string folder;
  /// Empty when the key holds none.
  std::string version;
  /// The names of the browsers the package registered (`MACHINE_BROWSERS_KEY`); none
  /// when it keeps no such list, as if it had registered every one.
  std::optional<std::vector<std::string>> browsers;

  /// Whether the installation registered the host with the browser named `name`.
  [[nodiscard]] bool registers(std::string_view name) const;
};

/// The per-user installation as its entry in the list of installed programs describes it.
struct UserInstall {
  std::string folder;
  std::string version;
};

/// Compares two versions of dotted decimal numbers ("0.1.0" < "0.10" < "1"); a missing
/// number counts as 0. None when either is not such a text.
[[nodiscard]] std::optional<std::strong_ordering> compare_versions(std::string_view a, std::string_view b);

/// True when the executable `running` lies directly in `folder`, both as Windows compares
/// paths: separators at the end ignored, letter case ignored.
[[nodiscard]] bool runs_from_folder(std::string_view running, std::string_view folder);

/// `MACHINE_KEY` in the 64-bit view of HKEY_LOCAL_MACHINE; none when it holds no
/// install folder. Windows only.
[[nodiscard]] std::optional<MachineInstall> read_machine_install();

/// The per-user installation's version and folder, from its entry in the list of installed
/// programs; none when there is no entry or it lacks either. Windows only.
[[nodiscard]] std::optional<UserInstall> read_user_install();

/// The machine-wide installation when the running program is its executable: the
/// canonical forms of both folders compared (the names as given when either cannot be
/// resolved).
[[nodiscard]] std::optional<MachineInstall> running_machine_install(InstallEnvironment& environment);

/// What the program installed for all users says when it is started to install (that it
/// is installed for all users) or to uninstall (that only its package removes it), and
/// how to remove it.
[[nodiscard]] std::string installed_for_all_users(i18n::Language language, const MachineInstall& machine);
[[nodiscard]] std::string uninstall_for_all_users(i18n::Language language, const MachineInstall& machine);

/// Says `text` on standard output when there is one, else in a message box of `kind`.
void tell(InstallEnvironment& environment, std::string_view text, platform::MessageBoxKind kind);

}  // namespace tessiva::install
