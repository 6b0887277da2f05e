#pragma once
/// Reading JSON that comes from outside: RapidJSON's in-situ SAX reader feeding a
/// builder of nlohmann::json values that enforces our limits.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>

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

/// The events of one JSON text in the order of the text, for a reader that builds its
/// own record (the settings) instead of a json value. Numbers arrive converted as in a
/// value: non-negative integers unsigned, negative ones signed, the rest as doubles.
/// Each method returns false to stop the reading.
class JsonEvents {
 public:
  virtual bool null() = 0;
  virtual bool boolean(bool value) = 0;
  virtual bool unsigned_number(std::uint64_t value) = 0;
  virtual bool negative_number(std::int64_t value) = 0;
  virtual bool float_number(double value) = 0;
  virtual bool string(std::string_view text) = 0;
  virtual bool key(std::string_view name) = 0;
  virtual bool start_object() = 0;
  virtual bool end_object() = 0;
  virtual bool start_array() = 0;
  virtual bool end_array() = 0;

 protected:
  ~JsonEvents() = default;
};

/// Why `read_json_events` stopped before the end of the text.
struct JsonStop {
  enum class Reason : std::uint8_t {
    Events,          // a method of the events returned false
    Syntax,          // the text is not JSON, or holds a number no double can hold
    InvalidUtf8,     // a string is not valid UTF-8
    InvalidUtf8Key,  // a member name is not valid UTF-8
    TooDeep,         // deeper than MAX_JSON_DEPTH
  };
  Reason reason;
  /// The byte of the text where the reader stopped.
  std::size_t offset;
  /// For `Syntax`: what is wrong, in English.
  std::string_view message;
};

/// Reads `text[0, size)` under the rules of `read_json_in_situ`, handing each value to
/// `events` as it is read; `text` is overwritten and needs JSON_PADDING writable bytes
/// after `size`.
[[nodiscard]] std::expected<void, JsonStop> read_json_events(char* text, std::size_t size, JsonEvents& events);

}  // namespace tessiva::messages
