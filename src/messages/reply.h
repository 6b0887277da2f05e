#pragma once
/// The reply envelope and the compact form in which replies are written.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "messages/host_error.h"

namespace tessiva::messages {

/// A reply as the channel writes it: the request's id and the handler's outcome. The
/// envelope around them is written directly, never built as a value.
struct Reply {
  nlohmann::json id;
  HandlerResult outcome;
  /// A successful result already in its compact form, written instead of the
  /// outcome's value when not empty: a result that never changes (hello's) is written
  /// once, not built and written for every request. It must outlive the reply.
  std::string_view written_result = {};
};

/// {"id": id, "ok": true, "result": result}
[[nodiscard]] nlohmann::json success_reply(nlohmann::json id, nlohmann::json result);

/// {"error": {"code": ..., "detail": ...}, "id": id, "ok": false}; "detail" only when
/// the error has one.
[[nodiscard]] nlohmann::json error_reply(nlohmann::json id, const HostError& error);

/// Compact JSON: members in ascending byte order of the key, `"` `\` and control
/// characters escaped (\b \f \n \r \t, others as \u00xx in lower case), everything else
/// as UTF-8. Text that is not valid UTF-8 (nothing inside the program should be) is
/// written with U+FFFD in place of the bad bytes.
[[nodiscard]] std::string write_compact(const nlohmann::json& value);

/// The indented form of the files the program writes (config.json, the manifests):
/// members in the order they were added, two spaces per level, a space after each
/// colon, strings escaped as by `write_compact`, no final line break.
[[nodiscard]] std::string write_indented(const nlohmann::ordered_json& value);

/// Appends `text` as a JSON string, escaped as by `write_compact`. The one escaper of
/// the program: replies, launch jobs, the files it writes and the texts of messages
/// that quote their input all use it.
void append_json_string(std::string& out, std::string_view text);

/// `write_compact`, appended to `out`.
void append_compact(std::string& out, const nlohmann::json& value);

/// Appends the compact envelope of `reply`: the very bytes of `write_compact` of its
/// `success_reply` or `error_reply`.
void append_reply(std::string& out, const Reply& reply);

/// `append_reply` into a new string.
[[nodiscard]] std::string write_reply(const Reply& reply);

}  // namespace tessiva::messages
