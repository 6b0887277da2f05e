#pragma once
/// The command line and the choice of the program's mode.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "install/check.h"

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
  friend bool operator==(const InstallMode&, const InstallMode&) = default;
};
struct CheckMode {
  bool json = false;
  friend bool operator==(const CheckMode&, const CheckMode&) = default;
};
using Mode = std::variant<NativeMessagingMode, LaunchMode, CheckMode, UninstallMode, InstallMode>;

/// Chooses the mode from the whole argument list (the program path included): native
/// messaging first, then "--launch", then "--check" (with "--json"), then "--uninstall",
/// else the installer.
[[nodiscard]] Mode select_mode(const std::vector<std::string>& arguments);

/// The app ids given with "--sandbox <app id>", as often as given, for the installer and
/// the uninstaller; a "--sandbox" without its id gives an empty id, which they refuse.
[[nodiscard]] std::vector<std::string> sandbox_ids(const std::vector<std::string>& arguments);

/// The family of the browser that started the host: an origin argument means the
/// Chromium family, a manifest path or the Firefox extension id Firefox; none otherwise.
[[nodiscard]] std::optional<install::BrowserFamily> caller_family(const std::vector<std::string>& arguments);

}  // namespace tessiva::app
