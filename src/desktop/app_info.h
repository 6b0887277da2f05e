#pragma once
/// "app_info": the name and icon of an application file, also what the application
/// picker answers.

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "messages/host_error.h"

namespace tessiva::desktop {

/// What the extension shows for an application.
struct AppInfo {
  /// The path exactly as it was given.
  std::string path;
  /// The version resource's description, else the file stem; may be empty.
  std::string name;
  /// Base64 text of the PNG of the file's first icon; none without one.
  std::optional<std::string> icon_png;

  friend bool operator==(const AppInfo&, const AppInfo&) = default;
};

/// {"icon_png": ..., "name": ..., "path": ...}
[[nodiscard]] nlohmann::json app_info_json(const AppInfo& info);

/// The `AppInfo` of `path`, which is not checked (the picker gives existing files).
[[nodiscard]] AppInfo app_info_for(const std::string& path);

/// "app_info": "path" must be a string ("invalid_request") naming an existing regular
/// file by an absolute path with a root ("not_found").
[[nodiscard]] messages::HandlerResult handle_app_info(const nlohmann::json& request);

}  // namespace tessiva::desktop
