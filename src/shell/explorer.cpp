#include "shell/explorer.h"

#include "config/save_folder.h"
#include "open/launcher.h"
#include "platform/files.h"

namespace tessiva::shell {
namespace {

using messages::HandlerResult;
using messages::HostError;
using nlohmann::json;

bool is_separator(char c, PathStyle style) { return c == '/' || (style == PathStyle::Windows && c == '\\'); }

char fold(char c, PathStyle style) {
  if (style == PathStyle::Windows && c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  return c;
}

bool same_text(std::string_view a, std::string_view b, PathStyle style) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const bool both_separators = is_separator(a[i], style) && is_separator(b[i], style);
    if (!both_separators && fold(a[i], style) != fold(b[i], style)) return false;
  }
  return true;
}

std::string_view without_trailing_separators(std::string_view path, PathStyle style) {
  while (path.size() > 1 && is_separator(path.back(), style)) path.remove_suffix(1);
  return path;
}

HandlerResult reveal(const std::string& path, const StartLauncher& start) {
  if (auto started = start(open::LaunchJob{open::Launch::Reveal{}, path}); !started)
    return std::unexpected(HostError{messages::error_code::LAUNCH_FAILED, std::move(started.error())});
  return json::object();
}

std::expected<void, std::string> spawn(const open::LaunchJob& job) { return open::spawn_launcher(job.launch, job.file); }

}  // namespace

PathStyle native_path_style() noexcept {
  return platform::PATH_SEPARATOR == '\\' ? PathStyle::Windows : PathStyle::Posix;
}

bool path_is_inside(std::string_view path, std::string_view folder, PathStyle style) {
  folder = without_trailing_separators(folder, style);
  path = without_trailing_separators(path, style);
  if (folder.empty() || path.size() < folder.size()) return false;
  if (!same_text(path.substr(0, folder.size()), folder, style)) return false;
  std::string_view rest = path.substr(folder.size());
  // The next character must start a new component, unless the folder is a root that
  // already ends in a separator ("/", "C:\" is cut to "C:" above and needs one).
  if (!rest.empty() && !is_separator(folder.back(), style) && !is_separator(rest.front(), style)) return false;
  while (!rest.empty()) {
    while (!rest.empty() && is_separator(rest.front(), style)) rest.remove_prefix(1);
    std::size_t end = 0;
    while (end < rest.size() && !is_separator(rest[end], style)) ++end;
    const std::string_view component = rest.substr(0, end);
    if (component == "." || component == "..") return false;
    rest.remove_prefix(end);
  }
  return true;
}

HandlerResult open_save_folder_with(const std::optional<std::string>& save_folder, const StartLauncher& start) {
  if (!save_folder) return std::unexpected(HostError{messages::error_code::IO_ERROR, std::nullopt});
  if (auto made = platform::create_folders(*save_folder); !made)
    return std::unexpected(HostError::io_error(made.error().text()));
  return reveal(*save_folder, start);
}

HandlerResult reveal_with(const json& request, const std::optional<std::string>& save_folder,
                          const StartLauncher& start) {
  const auto it = request.find("path");
  if (it == request.end() || !it->is_string()) return std::unexpected(HostError::invalid_request());
  const std::string& path = it->get_ref<const std::string&>();
  if (!save_folder) return std::unexpected(HostError{messages::error_code::IO_ERROR, std::nullopt});
  const auto canonical = platform::canonical_path(path);
  const auto canonical_folder = platform::canonical_path(*save_folder);
  if (!canonical || !canonical_folder) return std::unexpected(HostError::invalid_request());
  if (!path_is_inside(*canonical, *canonical_folder, native_path_style()))
    return std::unexpected(HostError::invalid_request());
  return reveal(path, start);
}

HandlerResult handle_open_save_folder(const config::SettingsLoader& settings) {
  return open_save_folder_with(config::effective_save_folder(settings()), spawn);
}

HandlerResult handle_reveal(const json& request, const config::SettingsLoader& settings) {
  // The path is checked first, so that a malformed request reads no settings.
  const auto it = request.find("path");
  if (it == request.end() || !it->is_string()) return std::unexpected(HostError::invalid_request());
  return reveal_with(request, config::effective_save_folder(settings()), spawn);
}

}  // namespace tessiva::shell
