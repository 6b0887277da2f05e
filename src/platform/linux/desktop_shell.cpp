// Handlers, desktop entries and the file manager, through GIO and the session bus.

#include <cerrno>

#include "platform/launch.h"
#include "platform/linux/desktop_apps.h"
#include "platform/linux/launch.h"

namespace tessiva::platform {
namespace {

using desktop::Gio;
using desktop::GlibString;
using desktop::Object;

/// How long the file manager may take to answer ShowItems (it may be started for the
/// call by D-Bus activation).
constexpr int SHOW_ITEMS_TIMEOUT_MS = 5000;

/// Starts `app` on `file`; GIO builds the arguments from the entry's Exec line.
Result<void> launch_on_file(const Gio& gio, GAppInfo* app, const std::string& file) {
  const Object<GFile> target(gio.g_file_new_for_path(file.c_str()));
  GList item{target.get(), nullptr, nullptr};
  GError* error = nullptr;
  if (!gio.g_app_info_launch(app, &item, nullptr, &error)) return std::unexpected(desktop::error_of(error, EIO));
  // An entry started over D-Bus is asked with a message that GIO queues; the process
  // that asked must not end before the message has left.
  GDesktopAppInfo* entry = desktop::as_desktop_entry(gio, app);
  if (entry && gio.g_desktop_app_info_get_boolean(entry, G_KEY_FILE_DESKTOP_KEY_DBUS_ACTIVATABLE)) {
    if (const Object<GDBusConnection> bus(gio.g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)); bus)
      gio.g_dbus_connection_flush_sync(bus.get(), nullptr, nullptr);
  }
  return {};
}

/// Asks the file manager on the session bus to show `uri` selected in its folder.
Result<void> show_items(const Gio& gio, const char* uri) {
  GError* error = nullptr;
  const Object<GDBusConnection> bus(gio.g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error));
  if (!bus) return std::unexpected(desktop::error_of(error, ENOENT));
  const char* uris[] = {uri, nullptr};
  GVariant* reply = gio.g_dbus_connection_call_sync(
      bus.get(), "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1",
      "ShowItems", gio.g_variant_new("(^ass)", uris, ""), nullptr, G_DBUS_CALL_FLAGS_NONE, SHOW_ITEMS_TIMEOUT_MS,
      nullptr, &error);
  if (!reply) return std::unexpected(desktop::error_of(error, ENOENT));
  gio.g_variant_unref(reply);
  return {};
}

}  // namespace

Result<void> invoke_handler(std::string_view ext, std::string_view handler_id, const std::string& file) {
  const auto gio = desktop::gio();
  if (!gio) return std::unexpected(gio.error());
  // Only an entry registered for the type is started, as listed.
  for (const auto& handler : desktop::handlers_for_extension(**gio, ext, false)) {
    if (handler.id == handler_id) return launch_on_file(**gio, handler.app.get(), file);
  }
  return std::unexpected(OsError{ENOENT, "no handler with that id is registered for the type"});
}

Result<void> launch_desktop_entry(const std::string& desktop_file, const std::string& file) {
  const auto gio = desktop::gio();
  if (!gio) return std::unexpected(gio.error());
  const Object<GAppInfo> app(
      reinterpret_cast<GAppInfo*>((*gio)->g_desktop_app_info_new_from_filename(desktop_file.c_str())));
  if (!app) return std::unexpected(OsError{ENOENT, desktop_file + " is not a desktop entry that can be started"});
  return launch_on_file(**gio, app.get(), file);
}

Result<void> reveal_in_file_manager(const std::string& path) {
  const auto gio = desktop::gio();
  if (!gio) return std::unexpected(gio.error());
  const Object<GFile> item((*gio)->g_file_new_for_path(path.c_str()));
  const GlibString uri((*gio)->g_file_get_uri(item.get()));
  if (uri && show_items(**gio, uri.get())) return {};
  // Without a file manager on the bus nothing can be selected: a folder opens itself
  // (the save folder is what "open the save folder" asks for), a file its folder, with
  // whatever handles folders.
  Object<GFile> folder;
  if ((*gio)->g_file_query_file_type(item.get(), G_FILE_QUERY_INFO_NONE, nullptr) != G_FILE_TYPE_DIRECTORY)
    folder.reset((*gio)->g_file_get_parent(item.get()));
  const GlibString folder_uri(folder ? (*gio)->g_file_get_uri(folder.get()) : nullptr);
  const char* open = folder_uri ? folder_uri.get() : uri.get();
  if (!open) return std::unexpected(OsError{EINVAL, "the path has no URI"});
  GError* error = nullptr;
  if (!(*gio)->g_app_info_launch_default_for_uri(open, nullptr, &error))
    return std::unexpected(desktop::error_of(error, EIO));
  return {};
}

}  // namespace tessiva::platform
