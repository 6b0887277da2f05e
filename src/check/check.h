#pragma once
/// The self-check: whether each browser can find and start this host, replayed the way
/// the browser looks it up, and whether the settings and folders the host needs are
/// usable. The gathering is each system's own (check_<system>.cpp, reading the browser
/// tables of install/browsers.h); the report and its
/// two forms, text for people and JSON with stable codes, are shared.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "i18n/language.h"
#include "messages/caller.h"

namespace tessiva::check {

enum class CheckStatus { Ok, Problem, NotRegistered };

/// The stable codes of the JSON form. `Ok` and `NotRegistered` go with their status;
/// every other code is a problem.
enum class CheckCode {
  Ok,
  NotRegistered,
  ManifestMissing,
  ManifestUnreadable,
  ManifestInvalid,
  ManifestWrongName,
  ManifestWrongType,
  PathNotAbsolute,
  PathMissing,
  OriginMissing,
  HostNoAnswer,
  HostWrongVersion,
  /// Run by root: the program was found but not started (an ok status).
  HostNotStartedAsRoot,
  PolicyUserLevelHosts,
  PolicyBlocklist,
  SettingsAbsent,
  SettingsUnreadable,
  SettingsInvalid,
  FolderNotWritable,
  LowSpace,
  // A browser in a sandbox whose way out is not there: a manifest in a Flatpak that
  // starts the program inside it, a Flatpak not allowed to start programs outside, the
  // proxy service missing or not allowed, the desktop portal's interface missing.
  SandboxNoWrapper,
  SandboxNoPermission,
  ProxyMissing,
  ProxyNoPermission,
  PortalMissing,
  /// Windows: the browser starts a per-user copy older than the installation for all
  /// users, whose registration it would read next.
  ShadowedByUserCopy,
};

/// The code as the JSON form writes it: "manifest_missing"...
[[nodiscard]] std::string_view code_name(CheckCode code) noexcept;
[[nodiscard]] CheckStatus status_of(CheckCode code) noexcept;

/// The browser families, as the host's command line tells them apart.
using messages::BrowserFamily;

/// One browser's lookup.
struct BrowserCheck {
  std::string name;
  BrowserFamily family = BrowserFamily::Chromium;
  /// A sandboxed package that sees only its own folder.
  bool flatpak = false;
  /// Its registration is expected: Tessiva is installed and its installer writes for
  /// this browser. A browser not expected counts only when it holds a registration.
  bool expected = false;
  CheckCode code = CheckCode::NotRegistered;
  /// The manifest used (or expected, or the policy file at fault); may be empty.
  std::string location;
  /// The path named by the problem's text when it is not `location` (the program).
  std::string subject;
  /// The Flatpak's app id, which the fixes for a sandbox name.
  std::string app_id;
};

enum class FolderCheckKind { Settings, SaveFolder, Transfers, FreeSpace };

struct FolderCheck {
  FolderCheckKind kind = FolderCheckKind::Settings;
  CheckCode code = CheckCode::Ok;
  std::string location;
  /// Free space, for `FreeSpace`.
  std::optional<std::uint64_t> bytes;
};

struct CheckReport {
  bool installed = false;
  /// How the fixes name the program: the command that starts it where the user is.
  std::string command = "tessiva";
  std::vector<BrowserCheck> browsers;
  std::vector<FolderCheck> folders;
  /// The family of the browser that asked, for a report given to the extension.
  std::optional<BrowserFamily> caller;
};

/// Below this, free space is a problem: a save of a large file would fail.
inline constexpr std::uint64_t LOW_SPACE_BYTES = 100ULL * 1024 * 1024;

/// True when every expected browser (and every registered one) can reach the host, and
/// Tessiva is installed or some browser reaches a copy of it.
[[nodiscard]] bool reachable(const CheckReport& report) noexcept;

/// One line per check in `language`, a fix hint with each problem, then a summary.
[[nodiscard]] std::string report_text(const CheckReport& report, i18n::Language language);
/// The report as a value, its members in the order `report_json` writes them; the
/// schema is described in the README.
[[nodiscard]] nlohmann::ordered_json report_value(const CheckReport& report);
/// `report_value` as compact JSON with a final line break.
[[nodiscard]] std::string report_json(const CheckReport& report);

/// How the checks are run.
struct CheckOptions {
  /// Start the program each manifest names and ask it for "hello"; skipped for a
  /// report that must be quick.
  bool start_programs = true;
  std::optional<BrowserFamily> caller;
};

/// What a test build changes in the self-check on Linux. The shipped program never sets
/// it: only the test executables link the code that does (tests/hooks/).
struct CheckTestHooks {
  /// Put before every system path (/etc, /usr) that the check reads.
  std::string system_root;
  /// Taken instead of whether the process runs as root; none: the process's own answer.
  std::optional<bool> as_root;
};
void set_check_test_hooks(CheckTestHooks hooks);
[[nodiscard]] const CheckTestHooks& check_test_hooks();

/// Gathers the report on the running system. Run by root, the programs the manifests
/// name are not started (they may lie in folders that users can write): each is
/// reported as found but not started.
[[nodiscard]] CheckReport run_check(const CheckOptions& options);

/// `--check`: writes the report (JSON with `json`) on standard output and returns 0
/// when every expected browser can reach the host, else 1. On Windows, where the
/// program has no console, a standard output that is not open sends the report to a
/// file beside the troubleshooting log instead, named in a message box.
[[nodiscard]] int check_for_user(bool json);

}  // namespace tessiva::check
