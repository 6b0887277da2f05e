#include "desktop/app_info.h"

#include "codec/base64.h"
#include "messages/request.h"
#include "platform/application_info.h"
#include "platform/files.h"
#include "text/paths.h"

namespace tessiva::desktop {

using messages::HandlerResult;
using messages::HostError;
using nlohmann::json;

json app_info_json(const AppInfo& info) {
  json result = json::object();
  result["icon_png"] = info.icon_png ? json(*info.icon_png) : json(nullptr);
  result["name"] = info.name;
  result["path"] = info.path;
  return result;
}

AppInfo app_info_for(const std::string& path) {
  AppInfo info;
  info.path = path;
  auto description = platform::describe_application(path);
  info.name = std::move(description.name).value_or(text::file_stem(path, platform::native_path_style()));
  if (description.icon_png) info.icon_png = codec::base64_encode(*description.icon_png);
  return info;
}

HandlerResult handle_app_info(const json& request) {
  const std::string* path = messages::string_member(request, "path");
  if (!path) return std::unexpected(HostError::invalid_request());
  const HostError not_found = HostError::of(messages::error_code::NOT_FOUND);
  if (!text::is_absolute_path(*path, platform::native_path_style())) return std::unexpected(not_found);
  const auto attributes = platform::file_attributes(*path);
  if (!attributes || !attributes->is_regular) return std::unexpected(not_found);
  return app_info_json(app_info_for(*path));
}

}  // namespace tessiva::desktop
