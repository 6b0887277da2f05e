#pragma once
/// Browsers in a sandbox on Linux. A Chromium-family Flatpak starts its host from a
/// manifest in its own folder, inside the sandbox, where the host would see neither the
/// user's applications nor the save folder: the manifest starts a small wrapper that
/// runs the installed program outside through `flatpak-spawn --host`, which needs the
/// Flatpak's permission to talk to the Flatpak service. Firefox in a Flatpak reaches
/// hosts through the native messaging proxy service instead, and Firefox as a snap
/// through the desktop portal; both read the ordinary manifest folders.
///
/// Pure text work here: the wrapper and its reading back, shell quoting, and what the
/// Flatpak permission files say.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessiva::install {

/// The session bus names the sandboxes go through.
inline constexpr std::string_view FLATPAK_SERVICE = "org.freedesktop.Flatpak";
inline constexpr std::string_view PROXY_SERVICE = "org.freedesktop.NativeMessagingProxy";
inline constexpr std::string_view PORTAL_SERVICE = "org.freedesktop.portal.Desktop";
inline constexpr std::string_view PORTAL_PATH = "/org/freedesktop/portal/desktop";
inline constexpr std::string_view PORTAL_INTERFACE = "org.freedesktop.portal.WebExtensions";

/// Where system-wide Flatpaks and their overrides live.
inline constexpr std::string_view FLATPAK_SYSTEM_FOLDER = "/var/lib/flatpak";

/// `text` as one word for a POSIX shell: as it is when it holds only characters that
/// need no quoting, else in single quotes.
[[nodiscard]] std::string shell_quoted(std::string_view text);

/// The wrapper script that starts `host` outside the sandbox with the browser's
/// arguments.
[[nodiscard]] std::string wrapper_script(std::string_view host);

/// The program a wrapper of ours starts; none for any other text.
[[nodiscard]] std::optional<std::string> wrapper_host(std::string_view script);

/// "flatpak override --user --talk-name=<name> <app_id>" (or "--no-talk-name=" with
/// `allow` false), as a user would type it.
[[nodiscard]] std::vector<std::string> override_arguments(std::string_view app_id, std::string_view name, bool allow);
[[nodiscard]] std::string override_command(std::string_view app_id, std::string_view name, bool allow);

/// The Flatpak user folder: $FLATPAK_USER_DIR, else $XDG_DATA_HOME/flatpak when that is
/// absolute, else ~/.local/share/flatpak.
[[nodiscard]] std::string flatpak_user_folder(const std::function<std::optional<std::string>(const std::string&)>& variable,
                                              std::string_view home);

/// The files that decide an app's session bus permissions, in the order Flatpak merges
/// them (a later one wins): the app's metadata in both installations, then the overrides
/// of the system, then the user's, each the global file before the app's own.
[[nodiscard]] std::vector<std::string> permission_files(std::string_view user_folder, std::string_view system_folder,
                                                        std::string_view app_id);

/// The user override file that `flatpak override --user` writes for `app_id`.
[[nodiscard]] std::string user_override_file(std::string_view user_folder, std::string_view app_id);

/// True when the files (texts in `permission_files` order, none for a missing one) let
/// the app talk to (or own) the bus name `name`: the last policy for the name (or for a
/// "prefix.*" that covers it) is "talk" or "own".
[[nodiscard]] bool may_talk_to(const std::vector<std::optional<std::string>>& files, std::string_view name);

}  // namespace tessiva::install
