#pragma once
/// Desktop entries as GIO knows them: the ones registered for a file type, the one that
/// runs a program, and their icons.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/desktop_objects.h"

namespace tessiva::platform::desktop {

/// At most this many handlers are listed for one type.
inline constexpr std::size_t MAX_HANDLERS = 101;

/// The desktop entries registered for the content type that GIO guesses from the name
/// "x." + `ext`: the type's default first, then the others in GIO's order
/// (`g_app_info_get_all_for_type`: the recommended ones, then those that take a parent
/// type), each desktop id once and none without an id, at most MAX_HANDLERS. Empty when
/// the type is unknown.
[[nodiscard]] std::vector<Object<GAppInfo>> handlers_for_extension(const Gio& gio, std::string_view ext);

/// `app` as a desktop entry; null when GIO made it from something else.
[[nodiscard]] GDesktopAppInfo* as_desktop_entry(const Gio& gio, GAppInfo* app);

/// The ids of the entries that claim the type of "x." + `ext` themselves (not through
/// a parent type).
[[nodiscard]] std::vector<std::string> recommended_ids(const Gio& gio, std::string_view ext);

/// The desktop entry that runs the program `path`: one whose Exec program or TryExec,
/// as a path or as a name found on PATH, is the same file. Entries that menus show
/// are preferred over hidden ones. None when no entry runs it.
[[nodiscard]] Object<GAppInfo> entry_running(const Gio& gio, const std::string& path);

/// The icon of `app` from the icon theme at 32 x 32 pixels, as a PNG file; none when it
/// has no icon, the theme has none of its names, or GTK cannot be loaded.
[[nodiscard]] std::optional<std::vector<std::byte>> app_icon_png(const Gio& gio, GAppInfo* app);

}  // namespace tessiva::platform::desktop
