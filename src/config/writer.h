#pragma once
/// Writing the settings record: the text of config.json, and the value for replies.

#include <string>

#include <nlohmann/json.hpp>

#include "config/config.h"

namespace tessiva::config {

/// The text of config.json: the members in declaration order, pretty-printed with two
/// spaces per level, UTF-8 without escapes but those JSON requires, no byte-order mark
/// and no final line break.
[[nodiscard]] std::string write_config_json(const Config& config);

/// The record as a JSON value with the same members, for replies.
[[nodiscard]] nlohmann::json config_to_json(const Config& config);

}  // namespace tessiva::config
