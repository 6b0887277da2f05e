#include "desktop/reveal.h"

#include "config/save_folder.h"
#include "messages/request.h"
#include "open/launcher.h"
#include "platform/files.h"

namespace tessiva::desktop {
namespace {

using messages::HandlerResult;
using messages::HostError;
using nlohmann::json;

HandlerResult reveal(const std::string& path, const open::StartLauncher& start) {
  if (auto started = start(open::LaunchJob{open::Launch::Reveal{}, path}); !started)
    return std::unexpected(HostError::of(messages::error_code::LAUNCH_FAILED, std::move(started.error())));
  return json::object();
}

}  // namespace

HandlerResult open_save_folder_with(const std::optional<std::string>& save_folder,
                                    const open::StartLauncher& start) {
  if (!save_folder) return std::unexpected(HostError::of(messages::error_code::IO_ERROR));
  if (auto made = platform::create_folders(*save_folder); !made)
    return std::unexpected(HostError::io_error(made.error().text()));
  return reveal(*save_folder, start);
}

HandlerResult reveal_with(const json& request, const std::optional<std::string>& save_folder,
                          const open::StartLauncher& start) {
  const std::string* path = messages::string_member(request, "path");
  if (!path) return std::unexpected(HostError::invalid_request());
  // A relative path would be taken from the host's working folder, which means nothing
  // to the caller.
  if (!text::is_absolute_path(*path, platform::native_path_style())) return std::unexpected(HostError::invalid_request());
  if (!save_folder) return std::unexpected(HostError::of(messages::error_code::IO_ERROR));
  const auto canonical = platform::canonical_path(*path);
  const auto canonical_folder = platform::canonical_path(*save_folder);
  if (!canonical || !canonical_folder) return std::unexpected(HostError::invalid_request());
  if (!text::path_is_inside(*canonical, *canonical_folder, platform::native_path_style()))
    return std::unexpected(HostError::invalid_request());
  return reveal(*path, start);
}

HandlerResult handle_open_save_folder(const config::SettingsLoader& settings) {
  return open_save_folder_with(config::effective_save_folder(settings()), open::spawn_launcher);
}

HandlerResult handle_reveal(const json& request, const config::SettingsLoader& settings) {
  // The path is checked first, so that a malformed request reads no settings.
  if (!messages::string_member(request, "path")) return std::unexpected(HostError::invalid_request());
  return reveal_with(request, config::effective_save_folder(settings()), open::spawn_launcher);
}

}  // namespace tessiva::desktop
