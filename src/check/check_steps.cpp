#include "check/check_steps.h"

#include <algorithm>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "config/save_folder.h"
#include "config/store.h"
#include "messages/framing.h"
#include "messages/json_reader.h"
#include "messages/protocol.h"
#include "messages/version.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "text/paths.h"

namespace tessiva::check {
namespace {

/// How long a started program may take to answer "hello".
constexpr int ANSWER_TIMEOUT_MS = 5000;

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
  argv.push_back(std::string(messages::SELF_CHECK_ARGUMENT));
  const std::string input = messages::framed(R"({"type":"hello","id":0})");
  const auto output = platform::run_with_pipes(path, argv, input, 64 * 1024, ANSWER_TIMEOUT_MS);
  if (!output) return CheckCode::HostNoAnswer;
  const auto body = messages::first_frame_body(*output);
  if (!body) return CheckCode::HostNoAnswer;
  const auto parsed = messages::read_json(*body);
  if (!parsed || !parsed->is_object()) return CheckCode::HostNoAnswer;
  const nlohmann::json& reply = *parsed;
  const auto result = reply.find("result");
  if (result == reply.end() || !result->is_object()) return CheckCode::HostNoAnswer;
  const auto version = result->find("host_version");
  if (version == result->end() || !version->is_string()) return CheckCode::HostNoAnswer;
  return *version == messages::HOST_VERSION ? CheckCode::Ok : CheckCode::HostWrongVersion;
}

/// The folder of `path`, its root kept whole ("/", "C:\"); empty when it has none.
std::string parent_of(const std::string& path) {
  return std::string(text::parent_folder(path, platform::native_path_style()));
}

/// The nearest folder that exists at or above `path`.
std::string existing_ancestor(std::string path) {
  while (!path.empty() && !is_folder(path)) path = parent_of(path);
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

}  // namespace

bool path_exists(const std::string& path) { return platform::file_attributes(path).has_value(); }

bool is_folder(const std::string& path) {
  const auto attributes = platform::file_attributes(path);
  return attributes && attributes->is_directory;
}

bool holds(const nlohmann::json& list, std::string_view value) {
  if (!list.is_array()) return false;
  return std::ranges::any_of(list, [&](const nlohmann::json& item) { return item.is_string() && item == value; });
}

CheckCode check_manifest(const std::string& path, BrowserFamily family, bool start_program, std::string& program) {
  const auto text = platform::read_file(path);
  if (!text) return CheckCode::ManifestUnreadable;
  const auto parsed = messages::read_json_file(*text);
  if (!parsed || !parsed->is_object()) return CheckCode::ManifestInvalid;
  const nlohmann::json& json = *parsed;
  const auto name = json.find("name");
  if (name == json.end() || *name != messages::NATIVE_HOST_NAME) return CheckCode::ManifestWrongName;
  const auto type = json.find("type");
  if (type == json.end() || *type != "stdio") return CheckCode::ManifestWrongType;
  const auto target = json.find("path");
  if (target == json.end() || !target->is_string()) return CheckCode::PathNotAbsolute;
  program = target->get<std::string>();
  const text::PathStyle style = platform::native_path_style();
  if (!text::is_absolute_path(program, style)) {
    const std::string folder = parent_of(path);
    if (style != text::PathStyle::Windows || program.empty() || folder.empty()) return CheckCode::PathNotAbsolute;
    program = platform::join_path(folder, program);
  }
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

namespace {

/// True when `code` is about the program rather than the manifest.
bool names_program(CheckCode code) noexcept {
  return code == CheckCode::PathMissing || code == CheckCode::HostNoAnswer || code == CheckCode::HostWrongVersion ||
         code == CheckCode::HostNotStartedAsRoot;
}

}  // namespace

void check_found_manifest(BrowserCheck& check, ProgramStart start, const std::string& blocked_by) {
  check.code = check_manifest(check.location, check.family, start == ProgramStart::Start, check.subject);
  if (check.code == CheckCode::Ok && !blocked_by.empty()) {
    check.code = CheckCode::PolicyBlocklist;
    check.location = blocked_by;
  } else if (check.code == CheckCode::Ok && start == ProgramStart::WithheldAsRoot) {
    check.code = CheckCode::HostNotStartedAsRoot;
  }
  if (!names_program(check.code)) check.subject.clear();
}

CheckCode probe_program(const std::string& path, BrowserFamily family, const std::string& manifest) {
  return probe(path, family, manifest);
}

std::vector<FolderCheck> folder_checks() {
  std::vector<FolderCheck> checks;
  FolderCheck settings{FolderCheckKind::Settings, CheckCode::SettingsAbsent, "", std::nullopt};
  if (const auto path = config::config_file_path()) {
    settings.location = *path;
    if (const auto text = platform::read_file(*path)) {
      const auto json = messages::read_json(*text);
      settings.code = !json || !json->is_object() ? CheckCode::SettingsInvalid : CheckCode::Ok;
    } else if (path_exists(*path)) {
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

}  // namespace tessiva::check
