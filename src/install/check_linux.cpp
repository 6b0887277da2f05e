// The self-check on Linux: each browser's user folder, then its system folders, read in
// the order the browser reads them, under the policies that govern the Chromium
// family; Flatpak browsers in their sandbox's folder; then the host's own folders.

#include <algorithm>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "config/save_folder.h"
#include "config/store.h"
#include "install/check.h"
#include "install/home_install.h"
#include "install/system_linux.h"
#include "messages/protocol.h"
#include "messages/version.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/installation.h"
#include "platform/process.h"

namespace tessiva::install {
namespace {

/// How long a started program may take to answer "hello".
constexpr int ANSWER_TIMEOUT_MS = 5000;

/// The folders outside the home that the browsers read, found below this prefix when
/// the variable is set, so that tests can give them without owning /etc and /usr.
std::string system_root() { return platform::environment_variable("TESSIVA_CHECK_ROOT").value_or(""); }

/// The system folders of a browser of `browser_folders()`, after its user folder.
struct SystemFolders {
  std::string_view browser_folder;
  std::vector<std::string_view> manifests;
  /// Managed policy files (*.json); empty for browsers without policies read here.
  std::string_view policies;
};

const std::vector<SystemFolders>& system_folders() {
  static const std::vector<SystemFolders> folders = {
      {"google-chrome", {"/etc/opt/chrome/native-messaging-hosts"}, "/etc/opt/chrome/policies/managed"},
      {"google-chrome-beta", {"/etc/opt/chrome/native-messaging-hosts"}, "/etc/opt/chrome/policies/managed"},
      {"google-chrome-unstable", {"/etc/opt/chrome/native-messaging-hosts"}, "/etc/opt/chrome/policies/managed"},
      {"chromium", {"/etc/chromium/native-messaging-hosts"}, "/etc/chromium/policies/managed"},
      {"microsoft-edge", {"/etc/opt/edge/native-messaging-hosts"}, "/etc/opt/edge/policies/managed"},
      {"microsoft-edge-beta", {"/etc/opt/edge/native-messaging-hosts"}, "/etc/opt/edge/policies/managed"},
      {"microsoft-edge-dev", {"/etc/opt/edge/native-messaging-hosts"}, "/etc/opt/edge/policies/managed"},
      // Brave and Vivaldi read Google Chrome's system folder.
      {"BraveSoftware/Brave-Browser", {"/etc/opt/chrome/native-messaging-hosts"}, "/etc/brave/policies/managed"},
      {"BraveSoftware/Brave-Browser-Beta", {"/etc/opt/chrome/native-messaging-hosts"}, "/etc/brave/policies/managed"},
      {"BraveSoftware/Brave-Browser-Nightly", {"/etc/opt/chrome/native-messaging-hosts"},
       "/etc/brave/policies/managed"},
      {"vivaldi", {"/etc/opt/chrome/native-messaging-hosts"}, ""},
      {".mozilla", {"/usr/lib/mozilla/native-messaging-hosts", "/usr/lib64/mozilla/native-messaging-hosts"}, ""},
  };
  return folders;
}

const SystemFolders* system_folders_of(const BrowserFolder& browser) {
  const auto& all = system_folders();
  const auto it = std::ranges::find(all, browser.browser_folder, &SystemFolders::browser_folder);
  return it == all.end() ? nullptr : &*it;
}

std::string manifest_file_name() { return std::string(messages::NATIVE_HOST_NAME) + ".json"; }

bool exists(const std::string& path) { return platform::file_attributes(path).has_value(); }

bool is_folder(const std::string& path) {
  const auto attributes = platform::file_attributes(path);
  return attributes && attributes->is_directory;
}

BrowserFamily family_of(ManifestForm form) {
  return form == ManifestForm::Chromium ? BrowserFamily::Chromium : BrowserFamily::Firefox;
}

/// What the managed policy files of one browser say about native hosts.
struct Policies {
  /// The file that forbids hosts installed for one user; empty when none does.
  std::string user_level_forbidden_by;
  /// The file whose block list holds our host (or "*") without an allow list entry.
  std::string blocked_by;
};

bool holds(const nlohmann::json& list, std::string_view value) {
  if (!list.is_array()) return false;
  return std::ranges::any_of(list, [&](const nlohmann::json& item) { return item.is_string() && item == value; });
}

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
    const auto json = nlohmann::json::parse(*text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) continue;
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

/// The reply to "hello" from the program `path` started as a browser of `family`
/// starts it, with the manifest `manifest`: ok, no answer, or another version.
CheckCode probe(const std::string& path, BrowserFamily family, const std::string& manifest) {
  std::vector<std::string> argv{path};
  if (family == BrowserFamily::Chromium) {
    argv.push_back(messages::chromium_allowed_origins().front());
  } else {
    argv.push_back(manifest);
    argv.push_back(std::string(messages::FIREFOX_EXTENSION_ID));
  }
  const std::string body = R"({"type":"hello","id":0})";
  std::string input;
  const auto size = static_cast<std::uint32_t>(body.size());
  for (int shift = 0; shift < 32; shift += 8) input += static_cast<char>((size >> shift) & 0xFF);
  input += body;
  const auto output = platform::run_with_pipes(path, argv, input, 64 * 1024, ANSWER_TIMEOUT_MS);
  if (!output || output->size() < 4) return CheckCode::HostNoAnswer;
  std::uint32_t length = 0;
  for (int i = 0; i < 4; ++i) length |= static_cast<std::uint32_t>(static_cast<unsigned char>((*output)[i])) << (8 * i);
  if (output->size() - 4 < length) return CheckCode::HostNoAnswer;
  const auto reply = nlohmann::json::parse(output->substr(4, length), nullptr, false);
  if (reply.is_discarded() || !reply.is_object()) return CheckCode::HostNoAnswer;
  const auto result = reply.find("result");
  if (result == reply.end() || !result->is_object()) return CheckCode::HostNoAnswer;
  const auto version = result->find("host_version");
  if (version == result->end() || !version->is_string()) return CheckCode::HostNoAnswer;
  return *version == messages::HOST_VERSION ? CheckCode::Ok : CheckCode::HostWrongVersion;
}

/// Checks the manifest `path` that a browser of `family` found; fills in the program.
CheckCode check_manifest(const std::string& path, BrowserFamily family, bool start_program, std::string& program) {
  const auto text = platform::read_file(path);
  if (!text) return CheckCode::ManifestUnreadable;
  const auto json = nlohmann::json::parse(*text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return CheckCode::ManifestInvalid;
  const auto name = json.find("name");
  if (name == json.end() || *name != messages::NATIVE_HOST_NAME) return CheckCode::ManifestWrongName;
  const auto type = json.find("type");
  if (type == json.end() || *type != "stdio") return CheckCode::ManifestWrongType;
  const auto target = json.find("path");
  if (target == json.end() || !target->is_string()) return CheckCode::PathNotAbsolute;
  program = target->get<std::string>();
  if (!program.starts_with('/')) return CheckCode::PathNotAbsolute;
  const auto attributes = platform::file_attributes(program);
  if (!attributes || !attributes->is_regular) return CheckCode::PathMissing;
  if (family == BrowserFamily::Chromium) {
    const auto origins = json.find("allowed_origins");
    if (origins == json.end()) return CheckCode::OriginMissing;
    for (const auto& origin : messages::chromium_allowed_origins()) {
      if (!holds(*origins, origin)) return CheckCode::OriginMissing;
    }
  } else {
    const auto extensions = json.find("allowed_extensions");
    if (extensions == json.end() || !holds(*extensions, messages::FIREFOX_EXTENSION_ID)) return CheckCode::OriginMissing;
  }
  return start_program ? probe(program, family, path) : CheckCode::Ok;
}

BrowserCheck check_browser(const HomeLayout& layout, const BrowserFolder& browser, bool installed, bool packaged,
                           const std::string& root, const CheckOptions& options) {
  BrowserCheck check;
  check.name = browser.name;
  check.family = family_of(browser.form);
  const SystemFolders* system = system_folders_of(browser);
  const bool present =
      browser.always ||
      is_folder(platform::join_path(browser.in_config_home ? layout.config_home : layout.home, browser.browser_folder));
  // The per-user installer writes for every browser it finds; the package only into
  // the system folders.
  check.expected = present && ((installed) || (packaged && system != nullptr && !system->manifests.empty()));

  const Policies policies = read_policies(system ? root + std::string(system->policies) : std::string());
  std::vector<std::string> locations;
  if (policies.user_level_forbidden_by.empty()) locations.push_back(manifest_path(layout, browser));
  if (system) {
    for (const auto folder : system->manifests) locations.push_back(platform::join_path(root + std::string(folder), manifest_file_name()));
  }
  const auto found = std::ranges::find_if(locations, exists);
  if (found == locations.end()) {
    if (!policies.user_level_forbidden_by.empty() && exists(manifest_path(layout, browser))) {
      check.code = CheckCode::PolicyUserLevelHosts;
      check.location = policies.user_level_forbidden_by;
    } else if (check.expected) {
      check.code = CheckCode::ManifestMissing;
      check.location = locations.empty() ? manifest_path(layout, browser) : locations.front();
    }
    return check;
  }
  check.location = *found;
  check.code = check_manifest(*found, check.family, options.start_programs, check.subject);
  if (check.code == CheckCode::Ok && !policies.blocked_by.empty()) {
    check.code = CheckCode::PolicyBlocklist;
    check.location = policies.blocked_by;
  }
  // The program is named by a problem about the program; otherwise the manifest is.
  if (check.code != CheckCode::PathMissing && check.code != CheckCode::HostNoAnswer &&
      check.code != CheckCode::HostWrongVersion)
    check.subject.clear();
  return check;
}

/// The nearest folder that exists at or above `path`.
std::string existing_ancestor(std::string path) {
  while (!path.empty() && !is_folder(path)) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    path = slash == 0 ? "/" : path.substr(0, slash);
  }
  return path;
}

/// Writable when a file can be made in it (or, for a folder still to be made, in the
/// nearest folder above it, where the host would make it).
bool writable(const std::string& folder) {
  const std::string where = existing_ancestor(folder);
  if (where.empty()) return false;
  const std::string probe_file = platform::join_path(where, ".tessiva-check-" + std::to_string(platform::process_id()));
  auto file = platform::create_exclusive(probe_file);
  if (!file) return false;
  file->close();
  (void)platform::delete_file(probe_file);
  return true;
}

FolderCheck folder_check(FolderCheckKind kind, const std::optional<std::string>& folder) {
  FolderCheck check{kind, CheckCode::Ok, folder.value_or(""), std::nullopt};
  if (!folder || !writable(*folder)) check.code = CheckCode::FolderNotWritable;
  return check;
}

std::vector<FolderCheck> folder_checks() {
  std::vector<FolderCheck> checks;
  FolderCheck settings{FolderCheckKind::Settings, CheckCode::SettingsAbsent, "", std::nullopt};
  if (const auto path = config::config_file_path()) {
    settings.location = *path;
    if (const auto text = platform::read_file(*path)) {
      const auto json = nlohmann::json::parse(*text, nullptr, false);
      settings.code = json.is_discarded() || !json.is_object() ? CheckCode::SettingsInvalid : CheckCode::Ok;
    } else if (exists(*path)) {
      settings.code = CheckCode::SettingsUnreadable;
    }
  }
  checks.push_back(settings);
  const auto save_folder = config::effective_save_folder(config::load_config());
  checks.push_back(folder_check(FolderCheckKind::SaveFolder, save_folder));
  checks.push_back(folder_check(FolderCheckKind::Transfers,
                                platform::program_folder(platform::ProgramFolder::Transfers, messages::PRODUCT_NAME)));
  FolderCheck space{FolderCheckKind::FreeSpace, CheckCode::Ok, existing_ancestor(save_folder.value_or("")), std::nullopt};
  if (const auto bytes = space.location.empty() ? platform::Result<std::uint64_t>(0) : platform::free_space(space.location)) {
    space.bytes = *bytes;
    if (*bytes < LOW_SPACE_BYTES) space.code = CheckCode::LowSpace;
  }
  checks.push_back(space);
  return checks;
}

}  // namespace

std::optional<CheckReport> run_check(const CheckOptions& options) {
  CheckReport report;
  report.caller = options.caller;
  const auto layout = current_home_layout();
  const std::string root = system_root();
  const bool packaged = exists(root + std::string(SYSTEM_FOLDER) + "/tessiva");
  report.installed = (layout && exists(layout->executable)) || packaged;
  if (layout) {
    for (const auto& browser : browser_folders()) {
      report.browsers.push_back(check_browser(*layout, browser, exists(layout->executable), packaged, root, options));
    }
    for (const auto& browser : flatpak_browsers()) {
      const std::string sandbox = platform::join_path(platform::join_path(layout->home, ".var/app"), browser.app_id);
      if (!is_folder(sandbox)) continue;
      BrowserCheck check;
      check.name = browser.name;
      check.family = family_of(browser.form);
      check.flatpak = true;
      const std::string manifest = platform::join_path(platform::join_path(sandbox, browser.hosts_folder), manifest_file_name());
      if (exists(manifest)) {
        check.location = manifest;
        // The sandbox starts the program, not this check: only the manifest is read.
        check.code = check_manifest(manifest, check.family, false, check.subject);
        if (check.code != CheckCode::PathMissing) check.subject.clear();
      }
      report.browsers.push_back(std::move(check));
    }
  }
  report.folders = folder_checks();
  return report;
}

int check_for_user(bool json) {
  const CheckReport report = *run_check({});
  const std::string text =
      json ? report_json(report) : report_text(report, i18n::ui_language(config::load_config().language));
  platform::write_standard_output(text);
  return reachable(report) ? 0 : 1;
}

}  // namespace tessiva::install
