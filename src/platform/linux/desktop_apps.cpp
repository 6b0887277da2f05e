#include "platform/linux/desktop_apps.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "codec/png.h"
#include "platform/icons.h"

namespace tessiva::platform::desktop {
namespace {

GlibString content_type_of(const Gio& gio, std::string_view ext) {
  const std::string name = "x." + std::string(ext);
  return GlibString(gio.g_content_type_guess(name.c_str(), nullptr, 0, nullptr));
}

struct FileId {
  dev_t device;
  ino_t inode;
  bool operator==(const FileId&) const = default;
};

std::optional<FileId> file_id(const char* path) {
  struct stat status{};
  if (!path || ::stat(path, &status) != 0) return std::nullopt;
  return FileId{status.st_dev, status.st_ino};
}

/// Whether the program named `program` (a path, or a name looked up on PATH) is the
/// file `target`.
bool names_file(const Gio& gio, const char* program, const FileId& target) {
  if (!program || !*program) return false;
  if (std::string_view(program).find('/') != std::string_view::npos) return file_id(program) == target;
  const GlibString found(gio.g_find_program_in_path(program));
  return found && file_id(found.get()) == target;
}

bool runs(const Gio& gio, GAppInfo* app, const FileId& target) {
  if (names_file(gio, gio.g_app_info_get_executable(app), target)) return true;
  GDesktopAppInfo* entry = as_desktop_entry(gio, app);
  if (!entry) return false;
  const GlibString try_exec(gio.g_desktop_app_info_get_string(entry, G_KEY_FILE_DESKTOP_KEY_TRY_EXEC));
  return names_file(gio, try_exec.get(), target);
}

/// The icon theme: the display's own (the user's theme) when GTK can open a display,
/// else a theme object of GTK's default theme, which needs no display and searches the
/// icon folders of XDG_DATA_HOME, XDG_DATA_DIRS and ~/.icons, falling back to hicolor,
/// where applications install their icons. Kept for the rest of the process.
GtkIconTheme* icon_theme(const Gtk& gtk) {
  static GtkIconTheme* const theme = [&] {
    if (desktop::gtk_display_ready(gtk)) return gtk.gtk_icon_theme_get_default();
    return gtk.gtk_icon_theme_new();
  }();
  return theme;
}

/// `width` x `height` pixels of GdkPixbuf layout (rows `rowstride` bytes apart, 3 or 4
/// bytes per pixel, R, G, B[, A] without premultiplication) as R, G, B, A rows of a
/// `side` x `side` square, centred on transparent pixels. An image larger than the
/// square in either direction gives none.
std::optional<std::vector<std::byte>> centred_rgba(const unsigned char* pixels, int width, int height,
                                                   int rowstride, int channels, int side) {
  if (!pixels || width <= 0 || height <= 0 || width > side || height > side || (channels != 3 && channels != 4) ||
      rowstride < width * channels)
    return std::nullopt;
  std::vector<std::byte> out(static_cast<std::size_t>(side) * static_cast<std::size_t>(side) * 4, std::byte{0});
  const int left = (side - width) / 2;
  const int top = (side - height) / 2;
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = pixels + static_cast<std::ptrdiff_t>(y) * rowstride;
    std::byte* to = out.data() + (static_cast<std::size_t>(top + y) * static_cast<std::size_t>(side) +
                                  static_cast<std::size_t>(left)) * 4;
    for (int x = 0; x < width; ++x, row += channels, to += 4) {
      to[0] = std::byte{row[0]};
      to[1] = std::byte{row[1]};
      to[2] = std::byte{row[2]};
      to[3] = std::byte{channels == 4 ? row[3] : static_cast<unsigned char>(255)};
    }
  }
  return out;
}

std::optional<std::vector<std::byte>> pixbuf_png(const Gtk& gtk, GdkPixbuf* pixbuf) {
  Object<GdkPixbuf> scaled;
  int width = gtk.gdk_pixbuf_get_width(pixbuf);
  int height = gtk.gdk_pixbuf_get_height(pixbuf);
  if (width <= 0 || height <= 0) return std::nullopt;
  if (width > ICON_SIDE || height > ICON_SIDE) {
    // Scaled to fit the square, keeping the shape.
    const int longer = std::max(width, height);
    const int new_width = std::max(1, width * ICON_SIDE / longer);
    const int new_height = std::max(1, height * ICON_SIDE / longer);
    scaled.reset(gtk.gdk_pixbuf_scale_simple(pixbuf, new_width, new_height, GDK_INTERP_BILINEAR));
    if (!scaled) return std::nullopt;
    pixbuf = scaled.get();
    width = new_width;
    height = new_height;
  }
  if (gtk.gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB || gtk.gdk_pixbuf_get_bits_per_sample(pixbuf) != 8)
    return std::nullopt;
  const int channels = gtk.gdk_pixbuf_get_n_channels(pixbuf);
  if (channels != (gtk.gdk_pixbuf_get_has_alpha(pixbuf) ? 4 : 3)) return std::nullopt;
  const auto rgba = centred_rgba(gtk.gdk_pixbuf_read_pixels(pixbuf), width, height,
                                 gtk.gdk_pixbuf_get_rowstride(pixbuf), channels, ICON_SIDE);
  if (!rgba) return std::nullopt;
  return codec::encode_rgba_png(ICON_SIDE, ICON_SIDE, *rgba);
}

}  // namespace

std::vector<TypeHandler> handlers_for_extension(const Gio& gio, std::string_view ext, bool mark_recommended) {
  std::vector<TypeHandler> handlers;
  const GlibString type = content_type_of(gio, ext);
  if (!type || gio.g_content_type_is_unknown(type.get())) return handlers;
  const auto find = [&](std::string_view id) { return std::ranges::find(handlers, id, &TypeHandler::id); };
  auto add = [&](Object<GAppInfo> app) {
    if (!app || handlers.size() >= MAX_HANDLERS) return;
    std::string id = text_of(gio.g_app_info_get_id(app.get()));
    if (id.empty() || find(id) != handlers.end()) return;
    handlers.push_back({std::move(app), std::move(id)});
  };
  add(Object<GAppInfo>(gio.g_app_info_get_default_for_type(type.get(), FALSE)));
  for (auto& app : take_object_list<GAppInfo>(gio.g_app_info_get_all_for_type(type.get()))) add(std::move(app));
  if (mark_recommended && !handlers.empty()) {
    for (const auto& app : take_object_list<GAppInfo>(gio.g_app_info_get_recommended_for_type(type.get()))) {
      if (const auto it = find(text_of(gio.g_app_info_get_id(app.get()))); it != handlers.end()) it->recommended = true;
    }
  }
  return handlers;
}

GDesktopAppInfo* as_desktop_entry(const Gio& gio, GAppInfo* app) {
  const bool is_entry =
      app && gio.g_type_check_instance_is_a(reinterpret_cast<GTypeInstance*>(app), gio.g_desktop_app_info_get_type());
  return is_entry ? reinterpret_cast<GDesktopAppInfo*>(app) : nullptr;
}

Object<GAppInfo> entry_running(const Gio& gio, const std::string& path) {
  const auto target = file_id(path.c_str());
  if (!target) return nullptr;
  auto apps = take_object_list<GAppInfo>(gio.g_app_info_get_all());
  for (const bool shown : {true, false}) {
    for (auto& app : apps) {
      if (app && static_cast<bool>(gio.g_app_info_should_show(app.get())) == shown && runs(gio, app.get(), *target))
        return std::move(app);
    }
  }
  return nullptr;
}

std::optional<std::vector<std::byte>> app_icon_png(const Gio& gio, GAppInfo* app) {
  GIcon* icon = gio.g_app_info_get_icon(app);  // owned by the app
  if (!icon) return std::nullopt;
  const auto gtk = desktop::gtk();
  if (!gtk) return std::nullopt;
  GtkIconTheme* theme = icon_theme(**gtk);
  if (!theme) return std::nullopt;
  const Object<GtkIconInfo> info((*gtk)->gtk_icon_theme_lookup_by_gicon(theme, icon, ICON_SIDE,
                                                                         GTK_ICON_LOOKUP_FORCE_SIZE));
  if (!info) return std::nullopt;
  GError* error = nullptr;
  const Object<GdkPixbuf> pixbuf((*gtk)->gtk_icon_info_load_icon(info.get(), &error));
  if (!pixbuf) {
    Error dropped(error);
    return std::nullopt;
  }
  return pixbuf_png(**gtk, pixbuf.get());
}

}  // namespace tessiva::platform::desktop
