#pragma once
/// The per-user installation into the home folder, as on Linux: the program under
/// ~/.local/lib, a native messaging manifest in the folder of each browser that reads
/// one, and the uninstallation that takes back exactly what it wrote. Everything the
/// flows ask of the system goes through `HomeEnvironment`, so that tests can run them
/// against a fake.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/language.h"
#include "install/browsers.h"
#include "platform/os_error.h"

namespace tessiva::install {

class HomeEnvironment {
 public:
  virtual ~HomeEnvironment() = default;

  /// The language of the texts printed, read afresh from the settings.
  [[nodiscard]] virtual i18n::Language language() = 0;
  /// Full path of the running executable, links resolved.
  [[nodiscard]] virtual platform::Result<std::string> executable_path() = 0;
  /// An environment variable; none when it is not set.
  [[nodiscard]] virtual std::optional<std::string> variable(const std::string& name) = 0;

  [[nodiscard]] virtual bool is_folder(const std::string& path) = 0;
  [[nodiscard]] virtual bool file_exists(const std::string& path) = 0;
  [[nodiscard]] virtual platform::Result<std::string> canonical_path(const std::string& path) = 0;
  [[nodiscard]] virtual platform::Result<std::string> read_file(const std::string& path) = 0;
  [[nodiscard]] virtual platform::Result<void> create_folders(const std::string& path) = 0;
  /// Creates or replaces `path` with exactly `bytes`.
  [[nodiscard]] virtual platform::Result<void> write_file(const std::string& path, std::string_view bytes) = 0;
  /// Copies the program `from` onto `to` and makes the copy executable.
  [[nodiscard]] virtual platform::Result<void> copy_executable(const std::string& from, const std::string& to) = 0;
  [[nodiscard]] virtual platform::Result<void> rename_replace(const std::string& from, const std::string& to) = 0;
  [[nodiscard]] virtual platform::Result<void> delete_file(const std::string& path) = 0;
  /// Removes a folder only when it is empty.
  [[nodiscard]] virtual platform::Result<void> remove_empty_folder(const std::string& path) = 0;
  /// What the symbolic link `path` points to, as written; fails for anything that is
  /// not a link (also a missing one).
  [[nodiscard]] virtual platform::Result<std::string> link_target(const std::string& path) = 0;
  /// Creates the symbolic link `path` pointing to `target`; fails when `path` exists.
  [[nodiscard]] virtual platform::Result<void> create_link(const std::string& target, const std::string& path) = 0;
  /// Gives the file `path` the mode of a program: rwxr-xr-x.
  [[nodiscard]] virtual platform::Result<void> make_executable(const std::string& path) = 0;
  /// Runs the program `program` with `argv` (its first element the name the program
  /// sees), standard input empty and the other streams the caller's, and gives its exit
  /// status once it ended.
  [[nodiscard]] virtual platform::Result<int> run_program(const std::string& program,
                                                          const std::vector<std::string>& argv) = 0;

  /// True when someone typed the command: standard input is a terminal.
  [[nodiscard]] virtual bool input_is_terminal() = 0;
  /// One line typed in answer; none at the end of the input.
  [[nodiscard]] virtual std::optional<std::string> read_answer() = 0;
  /// Text for the user on standard output, and failures on standard error, as given
  /// (line breaks included).
  virtual void print(std::string_view text) = 0;
  virtual void print_error(std::string_view text) = 0;
};

/// Where the package installs the program; a program running from there does not
/// install itself for a user.
inline constexpr std::string_view SYSTEM_FOLDER = "/usr/lib/tessiva";

/// Every path of one user's installation.
struct HomeLayout {
  std::string home;
  /// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
  std::string config_home;
  std::string install_folder;
  std::string executable;
  /// Where the new program is written before it is renamed over the installed one.
  std::string staged_executable;
  /// Copies of both manifests beside the program, for browsers set up by hand.
  std::string chromium_manifest;
  std::string firefox_manifest;
  /// The folder of the user's commands (~/.local/bin) and the command's link in it.
  std::string commands_folder;
  std::string command_link;
  /// The folders the installer created, one per line, so that the uninstaller removes
  /// exactly those that it leaves empty.
  std::string created_folders;
  /// The Flatpaks whose permission to start programs outside their sandbox the
  /// installer granted, one app id per line, so that the uninstaller takes it back.
  std::string granted_permissions;
};

/// The layout for the environment's HOME and XDG_CONFIG_HOME; none without an absolute
/// HOME.
[[nodiscard]] std::optional<HomeLayout> home_layout(HomeEnvironment& environment);

/// The manifest's path in one browser's folder.
[[nodiscard]] std::string manifest_path(const HomeLayout& layout, const BrowserFolder& browser);

/// True for an answer that accepts the question: "y", "yes", "s", "si", "sí", "sim",
/// in any letter case, surrounding blanks ignored.
[[nodiscard]] bool is_yes_answer(std::string_view answer);

/// How to name the program in a command the user is told to run: "tessiva" when that
/// command, looked up on the environment's PATH, is the program at `program`; else the
/// program's full path, quoted for a shell when it needs it.
[[nodiscard]] std::string command_for_user(HomeEnvironment& environment, const std::string& program);

/// The Chromium-family Flatpak `app_id`, which Tessiva can reach through a wrapper in
/// its sandbox; none for any other id.
[[nodiscard]] const FlatpakBrowser* sandbox_browser(std::string_view app_id);

/// Where the wrapper and the manifest that starts it go in a Flatpak's sandbox.
[[nodiscard]] std::string sandbox_manifest_path(const HomeLayout& layout, const FlatpakBrowser& browser);
[[nodiscard]] std::string sandbox_wrapper_path(const HomeLayout& layout, const FlatpakBrowser& browser);

/// Installs or updates the running program for the current user and returns the exit
/// code: EXIT_DONE; EXIT_FAILED when a step failed (every browser is still tried);
/// EXIT_DECLINED when the question of a first install from a terminal was declined (or
/// an app id in `sandboxes` is not one of `sandbox_browser`). `quiet` prints nothing and
/// asks nothing. The program is also linked as the command ~/.local/bin/tessiva. A
/// browser whose folder did not exist is registered for when it is installed; every
/// folder made for it is recorded for the uninstaller.
///
/// Each Flatpak of `sandboxes` (the user's opt-in, confirmed once from a terminal) gets
/// a wrapper and a manifest in its sandbox, and the permission the wrapper needs, through
/// `flatpak override` when that command is there (else the command is printed). A
/// sandbox set up before keeps its wrapper up to date; for the other Chromium-family
/// Flatpaks found, the commands that would set them up are printed.
[[nodiscard]] int run_home_installer(HomeEnvironment& environment, bool quiet,
                                     const std::vector<std::string>& sandboxes = {});

/// Removes the manifests that start the installed program (others are kept and
/// reported), the command's link, then the program's folder and the folders the
/// installer made that are left empty, and returns EXIT_DONE, or EXIT_FAILED when a
/// file of ours could not be removed. Settings, saved files and partial files stay.
/// With nothing installed it says so and changes nothing. The wrappers in Flatpak
/// sandboxes go too, and the permissions the installer granted are taken back. With
/// `sandboxes`, only those Flatpaks' wrappers and permissions are taken back.
[[nodiscard]] int run_home_uninstaller(HomeEnvironment& environment, bool quiet,
                                       const std::vector<std::string>& sandboxes = {});

}  // namespace tessiva::install
