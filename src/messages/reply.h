#pragma once
/// The reply envelope and the compact form in which replies are written.

#include <string>

#include <nlohmann/json.hpp>

#include "messages/host_error.h"

namespace tessiva::messages {

/// {"id": id, "ok": true, "result": result}
[[nodiscard]] nlohmann::json success_reply(nlohmann::json id, nlohmann::json result);

/// {"error": {"code": ..., "detail": ...}, "id": id, "ok": false}; "detail" only when
/// the error has one.
[[nodiscard]] nlohmann::json error_reply(nlohmann::json id, const HostError& error);

/// Compact JSON: members in ascending byte order of the key, `"` `\` and control
/// characters escaped (\b \f \n \r \t, others as \u00xx in lower case), everything else
/// as UTF-8.
[[nodiscard]] std::string write_compact(const nlohmann::json& value);

/// The indented form of the files the program writes (config.json, the manifests):
/// members in the order they were added, two spaces per level, a space after each
/// colon, strings escaped as by `write_compact`, no final line break.
[[nodiscard]] std::string write_indented(const nlohmann::ordered_json& value);

}  // namespace tessiva::messages
