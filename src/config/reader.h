#pragma once
/// Reading the settings record from its two JSON forms: the text of config.json, and
/// the "config" value of a request. Neither validates (see config/validation.h).

#include <expected>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "config/config.h"

namespace tessiva::config {

/// Reads config.json text. Only space, tab, line feed and carriage return may stand
/// around the object (a byte-order mark makes the text invalid), and members are
/// examined in the order of the text, so the message names the first problem there:
/// an unknown, duplicate or missing field, or a value of the wrong type.
[[nodiscard]] std::expected<Config, std::string> parse_config_text(std::string_view text);

/// Reads an already parsed value (the "config" member of a request), members in
/// ascending key order, with the same messages as the text form.
[[nodiscard]] std::expected<Config, std::string> parse_config_value(const nlohmann::json& value);

}  // namespace tessiva::config
