#include "check/check.h"

#include <algorithm>
#include <array>

#include <nlohmann/json.hpp>

#include "i18n/texts.h"
#include "messages/version.h"

namespace tessiva::check {
namespace {

using i18n::MessageKey;

struct CodeInfo {
  CheckCode code;
  std::string_view name;
  /// The problem's text, with %1 for the path at fault; unused for the other codes.
  MessageKey text;
};

constexpr std::array<CodeInfo, 26> CODES{{
    {CheckCode::Ok, "ok", MessageKey::CheckOk},
    {CheckCode::NotRegistered, "not_registered", MessageKey::CheckNotRegistered},
    {CheckCode::ManifestMissing, "manifest_missing", MessageKey::CheckManifestMissing},
    {CheckCode::ManifestUnreadable, "manifest_unreadable", MessageKey::CheckManifestUnreadable},
    {CheckCode::ManifestInvalid, "manifest_invalid", MessageKey::CheckManifestInvalid},
    {CheckCode::ManifestWrongName, "manifest_wrong_name", MessageKey::CheckManifestWrongName},
    {CheckCode::ManifestWrongType, "manifest_wrong_type", MessageKey::CheckManifestWrongType},
    {CheckCode::PathNotAbsolute, "path_not_absolute", MessageKey::CheckPathNotAbsolute},
    {CheckCode::PathMissing, "path_missing", MessageKey::CheckPathMissing},
    {CheckCode::OriginMissing, "origin_missing", MessageKey::CheckOriginMissing},
    {CheckCode::HostNoAnswer, "host_no_answer", MessageKey::CheckHostNoAnswer},
    {CheckCode::HostWrongVersion, "host_wrong_version", MessageKey::CheckHostWrongVersion},
    {CheckCode::HostNotStartedAsRoot, "host_not_started_as_root", MessageKey::CheckNotStartedAsRoot},
    {CheckCode::PolicyUserLevelHosts, "policy_user_level_hosts", MessageKey::CheckPolicyUserLevel},
    {CheckCode::PolicyBlocklist, "policy_blocklist", MessageKey::CheckPolicyBlocklist},
    {CheckCode::SettingsAbsent, "settings_absent", MessageKey::CheckOk},
    {CheckCode::SettingsUnreadable, "settings_unreadable", MessageKey::CheckSettingsUnreadable},
    {CheckCode::SettingsInvalid, "settings_invalid", MessageKey::CheckSettingsInvalid},
    {CheckCode::FolderNotWritable, "folder_not_writable", MessageKey::CheckFolderNotWritable},
    {CheckCode::LowSpace, "low_space", MessageKey::CheckLowSpace},
    {CheckCode::SandboxNoWrapper, "sandbox_no_wrapper", MessageKey::CheckSandboxNoWrapper},
    {CheckCode::SandboxNoPermission, "sandbox_no_permission", MessageKey::CheckSandboxNoPermission},
    {CheckCode::ProxyMissing, "proxy_missing", MessageKey::CheckProxyMissing},
    {CheckCode::ProxyNoPermission, "proxy_no_permission", MessageKey::CheckProxyNoPermission},
    {CheckCode::PortalMissing, "portal_missing", MessageKey::CheckPortalMissing},
    {CheckCode::ShadowedByUserCopy, "shadowed_by_user_copy", MessageKey::CheckShadowedByUserCopy},
}};

const CodeInfo& info(CheckCode code) noexcept { return CODES[static_cast<std::size_t>(code)]; }

std::string_view status_name(CheckStatus status) noexcept {
  switch (status) {
    case CheckStatus::Ok:
      return "ok";
    case CheckStatus::Problem:
      return "problem";
    case CheckStatus::NotRegistered:
      return "not_registered";
  }
  return "problem";
}

MessageKey folder_name(FolderCheckKind kind) noexcept {
  switch (kind) {
    case FolderCheckKind::Settings:
      return MessageKey::CheckSettingsName;
    case FolderCheckKind::SaveFolder:
      return MessageKey::CheckSaveFolderName;
    case FolderCheckKind::Transfers:
      return MessageKey::CheckTransfersName;
    case FolderCheckKind::FreeSpace:
      return MessageKey::CheckFreeSpaceName;
  }
  return MessageKey::CheckSettingsName;
}

std::string_view folder_key(FolderCheckKind kind) noexcept {
  switch (kind) {
    case FolderCheckKind::Settings:
      return "settings";
    case FolderCheckKind::SaveFolder:
      return "save_folder";
    case FolderCheckKind::Transfers:
      return "transfers_folder";
    case FolderCheckKind::FreeSpace:
      return "free_space";
  }
  return "settings";
}

std::string mebibytes(std::optional<std::uint64_t> bytes) { return std::to_string(bytes.value_or(0) / (1024 * 1024)); }

/// One line: "<name>: ok (<where>)", "<name>: not registered" or "<name>: problem, <text>".
std::string line(i18n::Language language, std::string_view name, CheckCode code, std::string_view where,
                 std::string_view subject, std::string_view command, std::string_view app_id = {}) {
  switch (status_of(code)) {
    case CheckStatus::Ok:
      if (code == CheckCode::SettingsAbsent)
        return i18n::format_message(language, MessageKey::CheckSettingsAbsent, {name, where});
      if (code == CheckCode::HostNotStartedAsRoot)
        return i18n::format_message(language, MessageKey::CheckNotStartedAsRoot, {name, where, subject});
      return i18n::format_message(language, MessageKey::CheckOk, {name, where});
    case CheckStatus::NotRegistered:
      return i18n::format_message(language, MessageKey::CheckNotRegistered, {name});
    case CheckStatus::Problem:
      break;
  }
  const std::string text =
      i18n::format_message(language, info(code).text, {subject.empty() ? where : subject, command, app_id});
  return i18n::format_message(language, MessageKey::CheckProblem, {name, text});
}

CheckTestHooks& test_hooks() {
  static CheckTestHooks hooks;
  return hooks;
}

}  // namespace

void set_check_test_hooks(CheckTestHooks hooks) { test_hooks() = std::move(hooks); }

const CheckTestHooks& check_test_hooks() { return test_hooks(); }

static_assert(CODES.size() == static_cast<std::size_t>(CheckCode::ShadowedByUserCopy) + 1);

std::string_view code_name(CheckCode code) noexcept { return info(code).name; }

CheckStatus status_of(CheckCode code) noexcept {
  switch (code) {
    case CheckCode::Ok:
    case CheckCode::HostNotStartedAsRoot:
    case CheckCode::SettingsAbsent:
      return CheckStatus::Ok;
    case CheckCode::NotRegistered:
      return CheckStatus::NotRegistered;
    default:
      return CheckStatus::Problem;
  }
}

namespace {

/// Nothing installed and no browser reaching a copy of Tessiva: nothing can reach it.
bool nowhere(const CheckReport& report) noexcept {
  return !report.installed &&
         std::ranges::none_of(report.browsers,
                              [](const BrowserCheck& b) { return status_of(b.code) == CheckStatus::Ok; });
}

}  // namespace

bool reachable(const CheckReport& report) noexcept {
  for (const auto& browser : report.browsers) {
    if (status_of(browser.code) == CheckStatus::Problem) return false;
  }
  return !nowhere(report);
}

std::string report_text(const CheckReport& report, i18n::Language language) {
  std::string text;
  for (const auto& browser : report.browsers) {
    const std::string name = browser.flatpak ? browser.name + " (Flatpak)" : browser.name;
    text += line(language, name, browser.code, browser.location, browser.subject, report.command, browser.app_id);
    text += '\n';
  }
  for (const auto& folder : report.folders) {
    const std::string where = folder.kind == FolderCheckKind::FreeSpace
                                  ? folder.location + ", " + mebibytes(folder.bytes) + " MiB"
                                  : folder.location;
    const std::string subject = folder.code == CheckCode::LowSpace ? mebibytes(folder.bytes) : folder.location;
    text += line(language, i18n::message_text(language, folder_name(folder.kind)), folder.code, where, subject,
                 report.command);
    text += '\n';
  }
  if (nowhere(report)) {
    text += i18n::format_message(language, MessageKey::CheckNotInstalled, {report.command});
  } else {
    text += i18n::message_text(language, reachable(report) ? MessageKey::CheckAllReachable
                                                            : MessageKey::CheckSomeUnreachable);
  }
  text += '\n';
  return text;
}

nlohmann::ordered_json report_value(const CheckReport& report) {
  nlohmann::ordered_json out;
  out["host_version"] = std::string(messages::HOST_VERSION);
  out["installed"] = report.installed;
  out["reachable"] = reachable(report);
  out["caller_family"] = report.caller ? nlohmann::ordered_json(messages::family_name(*report.caller)) : nullptr;
  auto& browsers = out["browsers"] = nlohmann::ordered_json::array();
  for (const auto& browser : report.browsers) {
    nlohmann::ordered_json item;
    item["name"] = browser.name;
    item["family"] = messages::family_name(browser.family);
    item["flatpak"] = browser.flatpak;
    item["expected"] = browser.expected;
    item["caller_family"] = report.caller == browser.family;
    item["status"] = status_name(status_of(browser.code));
    item["code"] = code_name(browser.code);
    item["location"] = browser.location.empty() ? nullptr : nlohmann::ordered_json(browser.location);
    if (!browser.subject.empty()) item["program"] = browser.subject;
    browsers.push_back(std::move(item));
  }
  auto& folders = out["checks"] = nlohmann::ordered_json::array();
  for (const auto& folder : report.folders) {
    nlohmann::ordered_json item;
    item["name"] = folder_key(folder.kind);
    item["status"] = status_name(status_of(folder.code));
    item["code"] = code_name(folder.code);
    item["location"] = folder.location.empty() ? nullptr : nlohmann::ordered_json(folder.location);
    if (folder.bytes) item["bytes"] = *folder.bytes;
    folders.push_back(std::move(item));
  }
  return out;
}

std::string report_json(const CheckReport& report) {
  // Paths that are not valid UTF-8 are written with replacement characters, not refused.
  return report_value(report).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace tessiva::check
