#pragma once
/// Reading JSON that comes from outside: RapidJSON's in-situ SAX reader feeding a
/// builder of nlohmann::json values that enforces our limits.

#include <cstddef>
#include <optional>

#include <nlohmann/json.hpp>

#include "messages/request.h"

namespace tessiva::messages {

/// Arrays and objects may nest this deep; the outermost one is the first level.
inline constexpr int MAX_JSON_DEPTH = 127;

/// Bytes that must be writable after the text handed to `read_json_in_situ`: the
/// terminator, and room for the string scan's 64-byte loads.
inline constexpr std::size_t JSON_PADDING = 64;

/// Parses `text[0, size)` as exactly one JSON value, with white space (space, tab, line
/// feed, carriage return) only around it, nesting at most MAX_JSON_DEPTH levels, and
/// every string and key valid UTF-8. Duplicate keys keep the last value. Any NUL byte
/// in the text makes it invalid. The text is overwritten (strings are decoded in
/// place); `text` must have JSON_PADDING writable bytes after `size`. Returns none when
/// the text is not acceptable.
[[nodiscard]] std::optional<nlohmann::json> read_json_in_situ(char* text, std::size_t size);

/// `read_json_in_situ` for a request frame: long string members of the top-level object
/// are left in `text` (see `Request`), which must outlive the result.
[[nodiscard]] std::optional<Request> read_request_in_situ(char* text, std::size_t size);

/// The same rules for text that may not be modified (copies it first).
[[nodiscard]] std::optional<nlohmann::json> read_json(std::string_view text);

/// `read_json` for a file that other programs write and read as well (a manifest, a
/// policy file): one UTF-8 byte-order mark before the text is passed over, as those
/// programs do.
[[nodiscard]] std::optional<nlohmann::json> read_json_file(std::string_view text);

}  // namespace tessiva::messages
