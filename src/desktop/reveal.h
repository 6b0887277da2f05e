#pragma once
/// "open_save_folder" and "reveal": showing the save folder, or one file in it, in
/// the file manager. Both hand a reveal job to the detached launcher and reply at once.

#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "config/config.h"
#include "messages/host_error.h"
#include "open/launcher.h"

namespace tessiva::desktop {

/// "open_save_folder" for the effective save folder `save_folder` (none: "io_error"):
/// creates it with its parents, then reveals it.
[[nodiscard]] messages::HandlerResult open_save_folder_with(const std::optional<std::string>& save_folder,
                                                            const open::StartLauncher& start);

/// "reveal" against the effective save folder `save_folder`: the canonical form of
/// "path" must lie inside the canonical save folder; the job carries "path" as written.
[[nodiscard]] messages::HandlerResult reveal_with(const nlohmann::json& request,
                                                  const std::optional<std::string>& save_folder,
                                                  const open::StartLauncher& start);

/// The two requests against the save folder of the settings; "reveal" reads them only
/// once "path" is known to be a string.
[[nodiscard]] messages::HandlerResult handle_open_save_folder(const config::SettingsLoader& settings);
[[nodiscard]] messages::HandlerResult handle_reveal(const nlohmann::json& request,
                                                    const config::SettingsLoader& settings);

}  // namespace tessiva::desktop
