#pragma once
/// "open_save_folder" and "reveal": showing the save folder, or one file in it, in
/// Explorer. Both hand a reveal job to the detached launcher and reply at once.

#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "config/config.h"
#include "messages/host_error.h"
#include "open/launch_job.h"

namespace tessiva::shell {

/// How paths are spelled: Windows ('\' and '/' separate, letter case does not matter
/// for ASCII letters) or POSIX ('/' only, case matters).
enum class PathStyle { Windows, Posix };

/// The style of the paths of the running system.
[[nodiscard]] PathStyle native_path_style() noexcept;

/// True when `path` is `folder` itself or lies inside it, compared component by
/// component ("<folder>2" is a sibling, not inside). Both are taken as canonical: a
/// "." or ".." component below `folder` makes `path` count as outside.
[[nodiscard]] bool path_is_inside(std::string_view path, std::string_view folder, PathStyle style);

/// How a launch job is started (`open::spawn_launcher`); the failure is the error text.
using StartLauncher = std::function<std::expected<void, std::string>(const open::LaunchJob&)>;

/// "open_save_folder" for the effective save folder `save_folder` (none: "io_error"):
/// creates it with its parents, then reveals it.
[[nodiscard]] messages::HandlerResult open_save_folder_with(const std::optional<std::string>& save_folder,
                                                            const StartLauncher& start);

/// "reveal" against the effective save folder `save_folder`: the canonical form of
/// "path" must lie inside the canonical save folder; the job carries "path" as written.
[[nodiscard]] messages::HandlerResult reveal_with(const nlohmann::json& request,
                                                  const std::optional<std::string>& save_folder,
                                                  const StartLauncher& start);

/// The two requests against the save folder of the settings; "reveal" reads them only
/// once "path" is known to be a string.
[[nodiscard]] messages::HandlerResult handle_open_save_folder(const config::SettingsLoader& settings);
[[nodiscard]] messages::HandlerResult handle_reveal(const nlohmann::json& request,
                                                    const config::SettingsLoader& settings);

}  // namespace tessiva::shell
