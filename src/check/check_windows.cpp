// The self-check on Windows: each browser's host key looked up in the hives and views
// it reads, in its order, under the policies that govern Chrome and Edge; the manifest
// its key names; then the host's own folders. Without a console the report goes to a
// file beside the troubleshooting log, and a message box says where.

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"
#include "check/check_steps.h"
#include "config/store.h"
#include "i18n/texts.h"
#include "install/browsers.h"
#include "install/windows/installer.h"
#include "install/windows/machine_install.h"
#include "messages/protocol.h"
#include "messages/version.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/windows/console.h"
#include "platform/windows/known_folders.h"
#include "platform/windows/message_box.h"
#include "platform/windows/registry.h"
#include "text/paths.h"

namespace tessiva::check {
namespace {

using install::HOST_BROWSERS;
using install::HostBrowser;
using install::host_key;
using install::install_layout;
using install::UNINSTALL_KEY;
using platform::RegistryHive;
using platform::RegistryView;

/// One place a browser reads a key from.
struct Place {
  RegistryHive hive;
  RegistryView view;
};

/// The places of one key, in the order the browsers read them: the user's hive before
/// the machine's, the 32-bit view before the 64-bit one.
constexpr std::array<Place, 4> PLACES{{
    {RegistryHive::CurrentUser, RegistryView::Bits32},
    {RegistryHive::CurrentUser, RegistryView::Bits64},
    {RegistryHive::LocalMachine, RegistryView::Bits32},
    {RegistryHive::LocalMachine, RegistryView::Bits64},
}};

std::string full_key(RegistryHive hive, std::string_view key) {
  std::string text(platform::registry_hive_name(hive));
  text += '\\';
  text += key;
  return text;
}

/// The default value of `key` at `place` when it is text: the manifest it names.
std::optional<std::string> registered_manifest(const Place& place, const std::string& key) {
  auto value = platform::read_registry_value(place.hive, place.view, key, "");
  if (!value) return std::nullopt;
  if (auto* text = std::get_if<std::string>(&*value)) return std::move(*text);
  return std::nullopt;
}

/// True when one of `keys` is registered in HKEY_LOCAL_MACHINE, in either view.
bool machine_registration(const std::vector<std::string>& keys) {
  return std::ranges::any_of(keys, [](const std::string& key) {
    return std::ranges::any_of(PLACES, [&](const Place& place) {
      return place.hive == RegistryHive::LocalMachine && registered_manifest(place, key).has_value();
    });
  });
}

/// The strings of a list policy: the values ("1", "2"...) of its subkey.
std::optional<std::vector<std::string>> list_policy(RegistryHive hive, const std::string& key) {
  const auto values = platform::read_registry_values(hive, RegistryView::Bits64, key);
  if (!values) return std::nullopt;
  std::vector<std::string> items;
  for (const auto& value : *values) {
    if (const auto* text = std::get_if<std::string>(&value.data)) items.push_back(*text);
  }
  return items;
}

/// What the policies of one browser say about native hosts.
struct Policies {
  /// The key whose policy forbids hosts registered for one user; empty when none does.
  std::string user_level_forbidden_by;
  /// The key whose block list holds our host (or "*") without an allow list entry.
  std::string blocked_by;
};

/// The machine's policies before the user's: each policy is taken from the first hive
/// that sets it.
Policies read_policies(std::string_view key) {
  Policies found;
  if (key.empty()) return found;
  const std::string host(messages::NATIVE_HOST_NAME);
  constexpr std::array<RegistryHive, 2> hives{RegistryHive::LocalMachine, RegistryHive::CurrentUser};
  for (const auto hive : hives) {
    const auto value = platform::read_registry_value(hive, RegistryView::Bits64, key, "NativeMessagingUserLevelHosts");
    if (!value) continue;
    if (const auto* number = std::get_if<std::uint32_t>(&*value); number && *number == 0)
      found.user_level_forbidden_by = full_key(hive, key);
    break;
  }
  const auto first_list = [&](std::string_view name) -> std::pair<std::string, std::vector<std::string>> {
    const std::string list_key = std::string(key) + "\\" + std::string(name);
    for (const auto hive : hives) {
      if (auto items = list_policy(hive, list_key)) return {full_key(hive, list_key), std::move(*items)};
    }
    return {};
  };
  const auto [block_key, blocked] = first_list("NativeMessagingBlocklist");
  const auto allowed = first_list("NativeMessagingAllowlist").second;
  const bool listed = std::ranges::find(blocked, host) != blocked.end() || std::ranges::find(blocked, "*") != blocked.end();
  if (listed && std::ranges::find(allowed, host) == allowed.end()) found.blocked_by = block_key;
  return found;
}

/// The installations on this computer that the browsers' lookups are weighed against.
struct Installs {
  /// Installed for this user: the entry in the list of installed programs or the folder.
  bool for_user = false;
  std::optional<install::MachineInstall> machine;
  /// The per-user installation's entry, for its version.
  std::optional<install::UserInstall> user;

  [[nodiscard]] bool any() const noexcept { return for_user || machine.has_value(); }
};

/// True when the per-user registration that a browser found names a manifest of the
/// per-user installation, and that installation is older than the one for all users.
bool older_user_copy(const Installs& installs, const std::string& manifest) {
  if (!installs.machine || !installs.user) return false;
  if (!text::path_is_inside(manifest, installs.user->folder, text::PathStyle::Windows)) return false;
  const auto order = install::compare_versions(installs.user->version, installs.machine->version);
  return order && *order < 0;
}

BrowserCheck check_browser(const HostBrowser& browser, const Installs& installs, const CheckOptions& options) {
  BrowserCheck check;
  check.name = browser.name;
  check.family = browser.family;
  // A browser that the administrator left out of the machine-wide install is expected
  // only when there is a per-user install too.
  check.expected = installs.for_user || (installs.machine && installs.machine->registers(browser.name));
  const Policies policies = read_policies(browser.policies);
  const bool user_level_forbidden = !policies.user_level_forbidden_by.empty();

  std::vector<std::string> keys{host_key(browser.key)};
  for (const auto fallback : browser.fallbacks) {
    if (!fallback.empty()) keys.push_back(host_key(fallback));
  }
  std::optional<std::string> manifest;
  RegistryHive found_in = RegistryHive::CurrentUser;
  bool forbidden_registration = false;
  for (const auto& key : keys) {
    for (const auto& place : PLACES) {
      if (user_level_forbidden && place.hive == RegistryHive::CurrentUser) {
        forbidden_registration = forbidden_registration || registered_manifest(place, key).has_value();
        continue;
      }
      manifest = registered_manifest(place, key);
      found_in = place.hive;
      if (manifest) break;
    }
    if (manifest) break;
  }

  if (!manifest) {
    if (forbidden_registration) {
      check.code = CheckCode::PolicyUserLevelHosts;
      check.location = policies.user_level_forbidden_by;
    } else if (check.expected) {
      check.code = CheckCode::ManifestMissing;
      const bool machine_only = !installs.for_user;
      check.location = full_key(user_level_forbidden || machine_only ? RegistryHive::LocalMachine
                                                                     : RegistryHive::CurrentUser,
                                keys.front());
    }
    return check;
  }
  if (found_in == RegistryHive::CurrentUser && older_user_copy(installs, *manifest) &&
      machine_registration(keys)) {
    // The browser never gets to the newer copy for all users.
    check.code = CheckCode::ShadowedByUserCopy;
    check.location = *manifest;
    check.subject = platform::join_path(installs.user->folder, install::EXECUTABLE_NAME);
    return check;
  }
  // The key found is the registration: the browser looks no further, even when the
  // manifest it names is gone.
  check.location = *manifest;
  if (!path_exists(*manifest)) {
    check.code = CheckCode::ManifestMissing;
    return check;
  }
  check_found_manifest(check, options.start_programs ? ProgramStart::Start : ProgramStart::Skip, policies.blocked_by);
  return check;
}

/// Tessiva is installed for this user: its entry in the list of installed programs or
/// its install folder is there.
bool installed_for_user() {
  if (platform::read_registry_values(RegistryHive::CurrentUser, RegistryView::Bits64, UNINSTALL_KEY)) return true;
  const auto programs = platform::user_programs_folder();
  return programs && is_folder(install_layout(*programs).install_folder);
}

/// The report's problems and its last line, for a message box.
std::string summary(const CheckReport& report, i18n::Language language) {
  CheckReport problems = report;
  std::erase_if(problems.browsers, [](const BrowserCheck& b) { return status_of(b.code) != CheckStatus::Problem; });
  std::erase_if(problems.folders, [](const FolderCheck& f) { return status_of(f.code) != CheckStatus::Problem; });
  return report_text(problems, language);
}

/// Writes the report beside the troubleshooting log; its path, or none.
std::optional<std::string> write_report_file(std::string_view text, bool json) {
  const auto folder = platform::program_folder(platform::ProgramFolder::Logs, messages::PRODUCT_NAME);
  if (!folder || !platform::create_folders(*folder)) return std::nullopt;
  const std::string path = platform::join_path(*folder, json ? "tessiva-check.json" : "tessiva-check.txt");
  auto file = platform::create_truncate(path);
  if (!file || !file->write(text)) return std::nullopt;
  return path;
}

}  // namespace

CheckReport run_check(const CheckOptions& options) {
  CheckReport report;
  report.caller = options.caller;
  const Installs installs{installed_for_user(), install::read_machine_install(), install::read_user_install()};
  report.installed = installs.any();
  for (const auto& browser : HOST_BROWSERS) report.browsers.push_back(check_browser(browser, installs, options));
  report.folders = folder_checks();
  return report;
}

int check_for_user(bool json) {
  const CheckReport report = run_check({});
  const i18n::Language language = i18n::ui_language(config::load_config().language);
  const std::string text = json ? report_json(report) : report_text(report, language);
  const int code = reachable(report) ? 0 : 1;
  if (platform::standard_output_is_open()) {
    platform::write_standard_output(text);
    return code;
  }
  // Started without a console or a redirection: nothing would see the text.
  std::string shown;
  if (const auto path = write_report_file(text, json)) {
    shown = summary(report, language) + "\n" + i18n::format_message(language, i18n::MessageKey::CheckReportFile, {*path});
  } else {
    shown = report_text(report, language);
  }
  platform::message_box(shown, messages::PRODUCT_NAME,
                        code == 0 ? platform::MessageBoxKind::Information : platform::MessageBoxKind::Error);
  return code;
}

}  // namespace tessiva::check
