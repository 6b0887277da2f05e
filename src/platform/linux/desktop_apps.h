#pragma once
/// Desktop entries as GIO knows them: the ones registered for a file type, the one that
/// runs a program, and their icons.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handler_list.h"
#include "platform/linux/desktop_objects.h"

namespace tessiva::platform::desktop {

/// A desktop entry registered for a content type.
struct TypeHandler {
  Object<GAppInfo> app;
  /// Its desktop id; never empty.
  std::string id;
  /// Whether the entry claims the type itself (not through a parent type); only filled
  /// in when asked for.
  bool recommended = false;
};

/// The desktop entries registered for the content type that GIO guesses from the name
/// "x." + `ext`: the type's default first, then the others in GIO's order
/// (`g_app_info_get_all_for_type`: the recommended ones, then those that take a parent
/// type), each desktop id once and none without an id, at most MAX_HANDLERS. Empty when
/// the type is unknown. With `mark_recommended`, the entries that claim the type
/// themselves are marked.
[[nodiscard]] std::vector<TypeHandler> handlers_for_extension(const Gio& gio, std::string_view ext,
                                                              bool mark_recommended);

/// `app` as a desktop entry; null when GIO made it from something else.
[[nodiscard]] GDesktopAppInfo* as_desktop_entry(const Gio& gio, GAppInfo* app);

/// The desktop entry that runs the program `path`: one whose Exec program or TryExec,
/// as a path or as a name found on PATH, is the same file. Entries that menus show
/// are preferred over hidden ones. None when no entry runs it.
[[nodiscard]] Object<GAppInfo> entry_running(const Gio& gio, const std::string& path);

/// The icon of `app` from the icon theme at 32 x 32 pixels, as a PNG file; none when it
/// has no icon, the theme has none of its names, or GTK cannot be loaded.
[[nodiscard]] std::optional<std::vector<std::byte>> app_icon_png(const Gio& gio, GAppInfo* app);

}  // namespace tessiva::platform::desktop
