#pragma once
/// The command line and the choice of the program's mode.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "messages/caller.h"

namespace tessiva::app {

/// Reads the text after "--parent-window=": an optional sign and decimal digits within
/// the signed 64-bit range. Anything else, and 0, give none.
[[nodiscard]] std::optional<std::int64_t> parse_parent_window(std::string_view remainder);

struct NativeMessagingMode {
  std::optional<std::int64_t> parent_window;
  friend bool operator==(const NativeMessagingMode&, const NativeMessagingMode&) = default;
};
struct LaunchMode {
  /// The job text; none when "--launch" was the last argument.
  std::optional<std::string> job;
  friend bool operator==(const LaunchMode&, const LaunchMode&) = default;
};
struct UninstallMode {
  bool quiet = false;
  friend bool operator==(const UninstallMode&, const UninstallMode&) = default;
};
struct InstallMode {
  bool quiet = false;
  /// "--per-user": install for the user even beside an installation for all users.
  bool per_user = false;
  friend bool operator==(const InstallMode&, const InstallMode&) = default;
};
struct CheckMode {
  bool json = false;
  friend bool operator==(const CheckMode&, const CheckMode&) = default;
};
/// "--help": a short usage on standard output.
struct HelpMode {
  friend bool operator==(const HelpMode&, const HelpMode&) = default;
};
/// "--version": the version on standard output.
struct VersionMode {
  friend bool operator==(const VersionMode&, const VersionMode&) = default;
};
/// An argument that starts with "-" and is no option of the program.
struct UsageErrorMode {
  std::string argument;
  friend bool operator==(const UsageErrorMode&, const UsageErrorMode&) = default;
};
using Mode = std::variant<NativeMessagingMode, LaunchMode, CheckMode, UninstallMode, InstallMode, HelpMode,
                          VersionMode, UsageErrorMode>;

/// How the arguments that are not a browser's are read. `Lenient` ignores what it does
/// not know (a Windows program is started by the shell and the list of installed
/// programs, which pass no options it could get wrong); `Strict` follows the custom of
/// the command line: "--help" and "--version" answer, and any other unknown argument
/// that starts with "-" is a usage error.
enum class OptionRules { Lenient, Strict };

/// Chooses the mode from the whole argument list (the program path included): native
/// messaging first; with strict rules then a usage error, "--help" and "--version";
/// then "--launch", then "--check" (with "--json"), then "--uninstall", else the
/// installer.
[[nodiscard]] Mode select_mode(const std::vector<std::string>& arguments, OptionRules rules = OptionRules::Lenient);

/// The text "--help" prints: the modes, the options and the exit codes.
[[nodiscard]] std::string usage_text();

/// The app ids given with "--sandbox <app id>", as often as given, for the installer and
/// the uninstaller; a "--sandbox" without its id gives an empty id, which they refuse.
[[nodiscard]] std::vector<std::string> sandbox_ids(const std::vector<std::string>& arguments);

/// The family of the browser that started the host: an origin argument means the
/// Chromium family, a manifest path or the Firefox extension id Firefox; none otherwise.
[[nodiscard]] std::optional<messages::BrowserFamily> caller_family(const std::vector<std::string>& arguments);

}  // namespace tessiva::app
