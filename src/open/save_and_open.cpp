#include "open/save_and_open.h"

#include <chrono>

#include "config/save_folder.h"
#include "messages/request.h"
#include "naming/naming.h"
#include "naming/sweep.h"
#include "open/launcher.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "text/paths.h"
#include "text/visit.h"

namespace tessiva::open {
namespace {

using messages::HandlerResult;
using messages::HostError;
using messages::string_member;
namespace error_code = messages::error_code;

/// The application of `config` whose id is `id`, as a launch.
std::expected<Launch, HostError> app_launch(const config::Config& config, std::string_view id) {
  for (const auto& app : config.apps) {
    if (app.id == id) return Launch::App{app.path, app.args};
  }
  return std::unexpected(HostError::of(error_code::APP_NOT_FOUND));
}

/// What to launch for `target`; none for "save_only".
std::expected<std::optional<Launch>, HostError> plan_launch(const config::Config& config, const Target& target,
                                                            const std::string& key) {
  using Plan = std::expected<std::optional<Launch>, HostError>;
  return std::visit(
      Overloaded{
          [&](const target::App& app) -> Plan { return app_launch(config, app.app_id); },
          [&](const target::Handler& handler) -> Plan { return Launch::Handler{handler.handler_id, key}; },
          [&](const target::Default&) -> Plan {
            const auto it = key.empty() ? config.type_defaults.end() : config.type_defaults.find(key);
            if (it == config.type_defaults.end()) return std::unexpected(HostError::of(error_code::NO_DEFAULT));
            const std::string_view value = it->second;
            if (value.starts_with(config::HANDLER_PREFIX))
              return Launch::Handler{std::string(value.substr(config::HANDLER_PREFIX.size())), key};
            return app_launch(config, value);
          },
          [&](const target::SaveOnly&) -> Plan { return std::nullopt; },
      },
      target);
}

constexpr std::string_view COPY_PREFIX = ".tessiva-copy-";
constexpr std::string_view COPY_ENDING = ".tmp";
/// How many names a copy tries before it gives up: another name is taken only when
/// something (a leftover, or what another user put into a shared folder) is in the way.
constexpr int COPY_NAME_ATTEMPTS = 100;

/// A copy on its way into the save folder, held by this process.
struct CopyFile {
  std::string path;
  platform::File file;
};

/// Creates a temporary file of this process in `folder`, under the first free name.
/// Nothing already there is used or followed: a link or FIFO put there makes the next
/// name be tried.
platform::Result<CopyFile> create_copy_file(const std::string& folder) {
  const std::uint32_t process = platform::process_id();
  for (int attempt = 1;; ++attempt) {
    std::string path = platform::join_path(folder, copy_file_name(process, attempt));
    auto file = platform::create_owned(path);
    if (file) return CopyFile{std::move(path), std::move(*file)};
    if (attempt == COPY_NAME_ATTEMPTS || !platform::entry_exists(path)) return std::unexpected(file.error());
  }
}

/// Moves `source` (held open as `held`) onto `dest` (the empty file that holds the
/// claimed name in `folder`): a rename, or where that fails (another volume, or the
/// name no longer holds the file that was opened) a copy of what `held` holds to a
/// temporary file of this process in `folder`, renamed onto `dest` once complete, and
/// the deletion of the source when it is still the file that was copied. So the
/// claimed name never holds part of a file: a host killed during the copy leaves the
/// empty name-holder and a temporary file that the next save removes. When the move
/// fails, `dest` and the temporary file are removed again and the source is left as
/// it was. `held` is closed once the move succeeded.
platform::Result<void> move_onto(const std::string& source, platform::File& held, const std::string& dest,
                                 const std::string& folder) {
  if (held.rename_to(source, dest)) {
    held.close();
    return {};
  }
  auto copy = create_copy_file(folder);
  if (!copy) {
    (void)platform::delete_file(dest);
    return std::unexpected(copy.error());
  }
  auto copied = held.copy_to(copy->file);
  // The copy is the user's document from here on.
  if (copied) copied = copy->file.share_as_document();
  if (copied) copied = copy->file.rename_to(copy->path, dest);
  if (!copied) {
    (void)copy->file.remove(copy->path);
    (void)platform::delete_file(dest);
    return copied;
  }
  (void)held.remove(source);
  return {};
}

}  // namespace

std::string copy_file_name(std::uint32_t process_id, int attempt) {
  std::string name(COPY_PREFIX);
  name += std::to_string(process_id);
  if (attempt > 1) {
    name += '-';
    name += std::to_string(attempt);
  }
  name += COPY_ENDING;
  return name;
}

std::optional<std::uint32_t> copy_file_owner(std::string_view name) {
  if (!name.starts_with(COPY_PREFIX) || !name.ends_with(COPY_ENDING)) return std::nullopt;
  name.remove_prefix(COPY_PREFIX.size());
  if (name.size() < COPY_ENDING.size()) return std::nullopt;
  name.remove_suffix(COPY_ENDING.size());
  const auto dash = name.find('-');
  if (dash != std::string_view::npos) {
    // The attempt: digits from 2 on, without a leading zero.
    const std::string_view attempt = name.substr(dash + 1);
    const auto number = naming::process_id_in_name(attempt);
    if (!number || *number < 2) return std::nullopt;
    name = name.substr(0, dash);
  }
  return naming::process_id_in_name(name);
}

bool is_source_too_old(std::chrono::system_clock::time_point now, std::chrono::system_clock::time_point last_write) {
  // A time in the future gives a negative difference, which is within the limit.
  return now - last_write > std::chrono::seconds(MAX_SOURCE_AGE_SECS);
}

std::optional<Target> read_target(const nlohmann::json& request) {
  const auto it = request.find("target");
  if (it == request.end() || !it->is_object()) return std::nullopt;
  const nlohmann::json& value = *it;
  const std::string* kind = string_member(value, "kind");
  if (!kind) return std::nullopt;
  if (*kind == "app") {
    const std::string* id = string_member(value, "app_id");
    if (!id) return std::nullopt;
    return target::App{*id};
  }
  if (*kind == "handler") {
    const std::string* id = string_member(value, "handler_id");
    if (!id) return std::nullopt;
    return target::Handler{*id};
  }
  if (*kind == "default") return target::Default{};
  if (*kind == "save_only") return target::SaveOnly{};
  return std::nullopt;
}

HandlerResult save_and_open(const config::Config& config, const std::string& source, platform::File& held,
                            std::string_view reported_name, const Target& target, const StartLauncher& start_launcher) {
  const std::string key = naming::extension_key(reported_name);
  auto plan = plan_launch(config, target, key);
  if (!plan) return std::unexpected(std::move(plan.error()));

  const auto folder = config::effective_save_folder(config);
  if (!folder) return std::unexpected(HostError::of(error_code::IO_ERROR));
  if (auto made = platform::create_folders(*folder); !made) return std::unexpected(HostError::io_error(made.error().text()));

  const std::string file_name = naming::build_file_name(reported_name, config.name_pattern, platform::local_time_now());
  // Naming promises one plain component; were that ever broken, the file could land
  // outside the save folder, so it is checked rather than trusted.
  if (!text::is_single_component(file_name, text::PathStyle::Windows)) return std::unexpected(HostError::io_error("invalid file name"));
  // Copies that a killed host left on their way into the folder are removed first.
  naming::remove_files_of_ended_processes(*folder, copy_file_owner);
  auto dest = naming::claim_free_path(*folder, file_name);
  if (!dest) return std::unexpected(HostError::io_error(dest.error().text()));

  if (auto moved = move_onto(source, held, *dest, *folder); !moved) return std::unexpected(HostError::io_error(moved.error().text()));

  if (*plan) {
    if (auto started = start_launcher(LaunchJob{std::move(**plan), *dest}); !started)
      return std::unexpected(HostError::of(error_code::LAUNCH_FAILED, std::move(started.error())));
  }
  if (config.reveal_after_save) (void)start_launcher(LaunchJob{Launch::Reveal{}, *dest});

  nlohmann::json result = nlohmann::json::object();
  result["saved_path"] = std::move(*dest);
  return result;
}

HandlerResult save_and_open(const config::Config& settings, const std::string& source, platform::File& held,
                            std::string_view reported_name, const Target& target) {
  return save_and_open(settings, source, held, reported_name, target, spawn_launcher);
}

HandlerResult handle_open_file(const nlohmann::json& request, const config::SettingsLoader& settings) {
  const std::string* source = string_member(request, "source_path");
  if (!source) return std::unexpected(HostError::invalid_request());
  const std::string* original_name = string_member(request, "original_name");
  if (!original_name) return std::unexpected(HostError::invalid_request());
  if (!text::is_absolute_path(*source, platform::native_path_style())) return std::unexpected(HostError::invalid_request());

  if (!platform::file_attributes(*source)) return std::unexpected(HostError::of(error_code::NOT_FOUND));
  // What is checked is what was opened, and what is opened is what is copied: a FIFO
  // or a device put in the file's place is told apart here instead of blocking a read.
  auto held = platform::open_source(*source);
  if (!held) return std::unexpected(HostError::of(error_code::NOT_FOUND));
  const auto attributes = held->attributes();
  if (!attributes) return std::unexpected(HostError::of(error_code::NOT_FOUND));
  if (!attributes->is_regular) return std::unexpected(HostError::invalid_request());

  if (is_source_too_old(platform::system_time_now(), attributes->last_write))
    return std::unexpected(HostError::of(error_code::SOURCE_TOO_OLD));

  const auto target = read_target(request);
  if (!target) return std::unexpected(HostError::invalid_request());
  return save_and_open(settings(), *source, *held, *original_name, *target);
}

}  // namespace tessiva::open
