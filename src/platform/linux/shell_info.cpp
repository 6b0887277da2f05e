// Handlers and application descriptions from the desktop entries that GIO knows.

#include <algorithm>

#include "platform/application_info.h"
#include "platform/handler_list.h"
#include "platform/linux/desktop_apps.h"

namespace tessiva::platform {

std::vector<HandlerInfo> handler_infos(std::string_view ext, bool icons) {
  const auto gio = desktop::gio();
  if (!gio) return {};
  std::vector<HandlerInfo> infos;
  for (auto& handler : desktop::handlers_for_extension(**gio, ext, true)) {
    HandlerInfo info;
    info.name = desktop::text_of((*gio)->g_app_info_get_name(handler.app.get()));
    if (info.name.empty()) continue;
    info.id = std::move(handler.id);
    info.recommended = handler.recommended;
    if (icons) info.icon_png = desktop::app_icon_png(**gio, handler.app.get());
    infos.push_back(std::move(info));
  }
  return infos;
}

ApplicationDescription describe_application(const std::string& path) {
  const auto gio = desktop::gio();
  if (!gio) return {};
  desktop::Object<GAppInfo> app;
  if (path.ends_with(".desktop"))
    app.reset(reinterpret_cast<GAppInfo*>((*gio)->g_desktop_app_info_new_from_filename(path.c_str())));
  else
    app = desktop::entry_running(**gio, path);
  if (!app) return {};
  ApplicationDescription description;
  if (const char* name = (*gio)->g_app_info_get_name(app.get()); name && *name) description.name = name;
  description.icon_png = desktop::app_icon_png(**gio, app.get());
  return description;
}

}  // namespace tessiva::platform
