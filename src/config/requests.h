#pragma once
/// The settings requests "get_config" and "set_config".

#include <nlohmann/json.hpp>

#include "messages/host_error.h"

namespace tessiva::config {

/// {"config": stored settings, "default_save_folder": path or null, "effective": the
/// settings in force}, read afresh from config.json.
[[nodiscard]] nlohmann::json build_config_reply();

/// "get_config": never fails.
[[nodiscard]] messages::HandlerResult handle_get_config(const nlohmann::json& request);

/// "set_config": parses, validates and stores the request's "config" record, then
/// answers like "get_config".
[[nodiscard]] messages::HandlerResult handle_set_config(const nlohmann::json& request);

}  // namespace tessiva::config
