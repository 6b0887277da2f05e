// The self-check on Linux: each browser's user folder, then its system folders, read in
// the order the browser reads them, under the policies that govern the Chromium
// family; Flatpak browsers in their sandbox's folder; then the host's own folders.

#include <algorithm>

#include <nlohmann/json.hpp>

#include "check/check.h"
#include "check/check_steps.h"
#include "config/store.h"
#include "install/browsers.h"
#include "install/linux/home_install.h"
#include "install/linux/sandbox.h"
#include "install/linux/system_linux.h"
#include "messages/json_reader.h"
#include "messages/protocol.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/linux/installation.h"
#include "platform/linux/posix_process.h"
#include "platform/linux/session_bus.h"
#include "platform/process.h"

namespace tessiva::check {
namespace {

using install::BrowserFolder;
using install::FlatpakBrowser;
using install::HomeLayout;
using install::browser_folders;
using install::current_command;
using install::current_home_layout;
using install::FLATPAK_SERVICE;
using install::FLATPAK_SYSTEM_FOLDER;
using install::flatpak_browsers;
using install::flatpak_user_folder;
using install::manifest_path;
using install::may_talk_to;
using install::permission_files;
using install::PORTAL_INTERFACE;
using install::PORTAL_PATH;
using install::PORTAL_SERVICE;
using install::PROXY_SERVICE;
using install::sandbox_manifest_path;
using install::SYSTEM_FOLDER;
using install::user_override_file;
using install::wrapper_host;

/// The folders outside the home that the browsers read are found below this prefix,
/// which only a test build sets, so that tests can give them without owning /etc and /usr.
const std::string& system_root() { return check_test_hooks().system_root; }

/// Root does not start the programs that manifests name: a manifest in a folder that a
/// user can write would run any program as root.
ProgramStart program_start(const CheckOptions& options) {
  if (!options.start_programs) return ProgramStart::Skip;
  return check_test_hooks().as_root.value_or(platform::runs_as_superuser()) ? ProgramStart::WithheldAsRoot
                                                                             : ProgramStart::Start;
}

std::string manifest_file_name() { return std::string(messages::NATIVE_HOST_NAME) + ".json"; }

/// What the managed policy files of one browser say about native hosts.
struct Policies {
  /// The file that forbids hosts installed for one user; empty when none does.
  std::string user_level_forbidden_by;
  /// The file whose block list holds our host (or "*") without an allow list entry.
  std::string blocked_by;
};

Policies read_policies(const std::string& folder) {
  Policies found;
  if (folder.empty()) return found;
  auto entries = platform::list_folder(folder);
  if (!entries) return found;
  std::ranges::sort(*entries, {}, &platform::FolderEntry::name);
  const std::string host(messages::NATIVE_HOST_NAME);
  bool allowed = false;
  std::string blocked_by;
  for (const auto& entry : *entries) {
    if (entry.is_directory || !entry.name.ends_with(".json")) continue;
    const std::string path = platform::join_path(folder, entry.name);
    const auto text = platform::read_file(path);
    if (!text) continue;
    // The browser ignores a file it cannot parse; so does the check.
    const auto parsed = messages::read_json_file(*text);
    if (!parsed || !parsed->is_object()) continue;
    const nlohmann::json& json = *parsed;
    if (const auto it = json.find("NativeMessagingUserLevelHosts");
        it != json.end() && it->is_boolean() && !it->get<bool>() && found.user_level_forbidden_by.empty()) {
      found.user_level_forbidden_by = path;
    }
    if (const auto it = json.find("NativeMessagingBlocklist");
        it != json.end() && (holds(*it, host) || holds(*it, "*")) && blocked_by.empty()) {
      blocked_by = path;
    }
    if (const auto it = json.find("NativeMessagingAllowlist"); it != json.end() && holds(*it, host)) allowed = true;
  }
  if (!allowed) found.blocked_by = blocked_by;
  return found;
}

BrowserCheck check_browser(const HomeLayout& layout, const BrowserFolder& browser, bool installed, bool packaged,
                           const std::string& root, const CheckOptions& options) {
  BrowserCheck check;
  check.name = browser.name;
  check.family = browser.family;
  const bool present =
      browser.always ||
      is_folder(platform::join_path(browser.in_config_home ? layout.config_home : layout.home, browser.browser_folder));
  // The per-user installer writes for every browser it finds; the package only into
  // the system folders.
  check.expected = present && ((installed) || (packaged && !browser.system_manifests.empty()));

  const Policies policies = read_policies(browser.policies.empty() ? std::string() : root + std::string(browser.policies));
  std::vector<std::string> locations;
  if (policies.user_level_forbidden_by.empty()) locations.push_back(manifest_path(layout, browser));
  for (const auto folder : browser.system_manifests)
    locations.push_back(platform::join_path(root + std::string(folder), manifest_file_name()));
  const auto found = std::ranges::find_if(locations, path_exists);
  if (found == locations.end()) {
    if (!policies.user_level_forbidden_by.empty() && path_exists(manifest_path(layout, browser))) {
      check.code = CheckCode::PolicyUserLevelHosts;
      check.location = policies.user_level_forbidden_by;
    } else if (check.expected) {
      check.code = CheckCode::ManifestMissing;
      check.location = locations.empty() ? manifest_path(layout, browser) : locations.front();
    }
    return check;
  }
  check.location = *found;
  check_found_manifest(check, program_start(options), policies.blocked_by);
  return check;
}

/// True when the Flatpak `app_id` may talk to the bus name `name`, by its metadata and
/// the overrides of both installations.
bool flatpak_may_talk_to(const HomeLayout& layout, const std::string& root, std::string_view app_id,
                         std::string_view name) {
  const std::string user = flatpak_user_folder(platform::environment_variable, layout.home);
  std::vector<std::optional<std::string>> texts;
  for (const auto& path : permission_files(user, root + std::string(FLATPAK_SYSTEM_FOLDER), app_id)) {
    auto text = platform::read_file(path);
    texts.push_back(text ? std::optional(std::move(*text)) : std::nullopt);
  }
  return may_talk_to(texts, name);
}

/// A Chromium-family Flatpak reaches the host when the manifest in its sandbox starts
/// our wrapper, the program the wrapper starts answers, and the sandbox may start it
/// outside.
BrowserCheck check_chromium_flatpak(const HomeLayout& layout, const FlatpakBrowser& browser, const std::string& root,
                                    const CheckOptions& options) {
  BrowserCheck check;
  check.name = browser.name;
  check.family = BrowserFamily::Chromium;
  check.flatpak = true;
  check.app_id = browser.app_id;
  const std::string manifest = sandbox_manifest_path(layout, browser);
  if (!path_exists(manifest)) return check;
  check.expected = true;
  check.location = manifest;
  std::string target;
  // The sandbox cannot start the program itself: only the manifest is read here.
  check.code = check_manifest(manifest, check.family, false, target);
  if (check.code == CheckCode::PathMissing) check.subject = target;
  if (check.code != CheckCode::Ok) return check;
  const auto script = platform::read_file(target);
  const auto host = script ? wrapper_host(*script) : std::nullopt;
  if (!host) {
    check.code = CheckCode::SandboxNoWrapper;
    return check;
  }
  const auto attributes = platform::file_attributes(*host);
  if (!attributes || !attributes->is_regular) {
    check.code = CheckCode::PathMissing;
    check.subject = *host;
    return check;
  }
  if (!flatpak_may_talk_to(layout, root, browser.app_id, FLATPAK_SERVICE)) {
    check.code = CheckCode::SandboxNoPermission;
    return check;
  }
  // Outside the sandbox the wrapper starts the program as the browser would start it.
  if (options.start_programs) {
    check.code = probe_program(*host, check.family, manifest);
    if (check.code != CheckCode::Ok) check.subject = *host;
  }
  return check;
}

/// A browser whose sandbox asks a service outside for the host, which reads the
/// manifest of the same browser outside (`outside`): ok when the service is there and
/// the sandbox may reach it, and that manifest works. `check.location` names where the
/// permission would be given: the location of a missing one.
BrowserCheck check_through_service(BrowserCheck check, const BrowserCheck& outside, bool service,
                                   CheckCode missing, bool allowed) {
  check.expected = outside.expected;
  if (outside.code == CheckCode::NotRegistered || !service) {
    if (outside.code != CheckCode::NotRegistered) check.code = missing;
    check.location.clear();
  } else if (!allowed) {
    check.code = CheckCode::ProxyNoPermission;
  } else {
    check.code = outside.code;
    check.location = outside.location;
    check.subject = outside.subject;
  }
  return check;
}

}  // namespace

CheckReport run_check(const CheckOptions& options) {
  CheckReport report;
  report.caller = options.caller;
  const auto layout = current_home_layout();
  const std::string root = system_root();
  const bool packaged = path_exists(root + std::string(SYSTEM_FOLDER) + "/tessiva");
  report.installed = (layout && path_exists(layout->executable)) || packaged;
  report.command = current_command();
  if (layout) {
    for (const auto& browser : browser_folders()) {
      report.browsers.push_back(check_browser(*layout, browser, path_exists(layout->executable), packaged, root, options));
    }
    // The browsers outside a sandbox, by name, for those whose sandbox reads their
    // manifests through a service.
    const auto outside = [&](std::string_view name) {
      const auto it = std::ranges::find(report.browsers, name, &BrowserCheck::name);
      return it == report.browsers.end() ? BrowserCheck{} : *it;
    };
    std::optional<bool> proxy;
    for (const auto& browser : flatpak_browsers()) {
      const std::string sandbox = platform::join_path(platform::join_path(layout->home, ".var/app"), browser.app_id);
      if (!is_folder(sandbox)) continue;
      if (browser.family == BrowserFamily::Chromium) {
        report.browsers.push_back(check_chromium_flatpak(*layout, browser, root, options));
        continue;
      }
      BrowserCheck check;
      check.name = browser.name;
      check.family = BrowserFamily::Firefox;
      check.flatpak = true;
      check.app_id = browser.app_id;
      // The proxy service reads the manifest of Firefox outside the sandbox.
      const BrowserCheck firefox = outside("Firefox");
      if (firefox.code != CheckCode::NotRegistered && !proxy)
        proxy = platform::session_bus_name_available(std::string(PROXY_SERVICE));
      check.location =
          user_override_file(flatpak_user_folder(platform::environment_variable, layout->home), browser.app_id);
      report.browsers.push_back(check_through_service(
          check, firefox, proxy.value_or(false), CheckCode::ProxyMissing,
          proxy.value_or(false) && flatpak_may_talk_to(*layout, root, browser.app_id, PROXY_SERVICE)));
    }
    // A snap browser asks the desktop portal, which reads the manifests outside.
    std::optional<bool> portal;
    for (const auto& [name, snap] : {std::pair{std::string_view("Firefox"), std::string_view("snap/firefox")},
                                     std::pair{std::string_view("Chromium"), std::string_view("snap/chromium")}}) {
      if (!is_folder(platform::join_path(layout->home, snap))) continue;
      const BrowserCheck browser = outside(name);
      BrowserCheck check;
      check.name = std::string(name) + " (Snap)";
      check.family = browser.family;
      if (browser.code != CheckCode::NotRegistered && !portal) {
        portal = platform::session_bus_has_property(std::string(PORTAL_SERVICE), std::string(PORTAL_PATH),
                                                    std::string(PORTAL_INTERFACE), "version");
      }
      report.browsers.push_back(
          check_through_service(check, browser, portal.value_or(false), CheckCode::PortalMissing, true));
    }
  }
  report.folders = folder_checks();
  return report;
}

int check_for_user(bool json) {
  const CheckReport report = run_check({});
  const std::string text =
      json ? report_json(report) : report_text(report, i18n::ui_language(config::load_config().language));
  platform::write_standard_output(text);
  return reachable(report) ? 0 : 1;
}

}  // namespace tessiva::check
