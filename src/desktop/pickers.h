#pragma once
/// "pick_folder" and "pick_application": the system's dialogs, titled in the language
/// of the settings and owned by the browser's window when it named one.

#include <cstdint>
#include <optional>

#include "config/config.h"
#include "messages/host_error.h"

namespace tessiva::desktop {

/// {"path": the chosen folder}, or {"cancelled": true} when the dialog was closed
/// without a choice or could not be shown. Never an error.
[[nodiscard]] messages::HandlerResult handle_pick_folder(std::optional<std::int64_t> owner,
                                                         const config::SettingsLoader& settings);

/// The `AppInfo` of the chosen program, or {"cancelled": true}. Never an error.
[[nodiscard]] messages::HandlerResult handle_pick_application(std::optional<std::int64_t> owner,
                                                              const config::SettingsLoader& settings);

}  // namespace tessiva::desktop
