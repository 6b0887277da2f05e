#pragma once
/// One request as the channel hands it to the dispatcher.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace tessiva::messages {

/// A string member of the top-level object this long or longer is not copied into the
/// request's value: it stays where the reader decoded it, in the frame buffer. A 16 MiB
/// chunk of base64 would otherwise be copied into fresh memory on every frame, which
/// costs more than reading it from the pipe.
inline constexpr std::size_t LONG_STRING_BYTES = 64 * 1024;

/// A long string member: its key and its decoded text, which lives in the frame buffer.
/// A handler may overwrite the text (chunk data is decoded over itself).
struct LongString {
  std::string key;
  std::span<char> text;

  [[nodiscard]] std::string_view view() const noexcept { return {text.data(), text.size()}; }
};

/// The string member `key` of `object`; null when `object` is not an object, or the
/// member is missing or not a string. The one lookup every handler uses for its
/// string members.
[[nodiscard]] inline const std::string* string_member(const nlohmann::json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return nullptr;
  return &it->get_ref<const std::string&>();
}

/// A parsed request. `value` holds every member except the long strings of the
/// top-level object (never "id" or "type"), which are in `long_strings` instead; each
/// key is in one place only. The texts are valid until the channel reads the next frame.
struct Request {
  nlohmann::json value;
  std::vector<LongString> long_strings;

  Request() = default;
  /// A request whose members are all in `value` (requests built in code and tests).
  Request(nlohmann::json v) : value(std::move(v)) {}  // NOLINT: implicit on purpose

  /// The string member `key` of the top-level object, wherever it is kept; none when it
  /// is missing or not a string.
  [[nodiscard]] std::optional<std::string_view> string_member(std::string_view key) const {
    for (const auto& s : long_strings)
      if (s.key == key) return s.view();
    if (const std::string* text = messages::string_member(value, key)) return std::string_view(*text);
    return std::nullopt;
  }

  /// `string_member` as text that the handler may overwrite; it is the request's own, so
  /// a later `string_member(key)` sees what was written.
  [[nodiscard]] std::optional<std::span<char>> writable_string_member(std::string_view key) {
    for (const auto& s : long_strings)
      if (s.key == key) return s.text;
    if (value.is_object()) {
      const auto it = value.find(key);
      if (it != value.end() && it->is_string()) return std::span(it->get_ref<std::string&>());
    }
    return std::nullopt;
  }

  /// Copies the long strings into `value`, for handlers that read only the value, and
  /// returns it.
  const nlohmann::json& with_long_strings() {
    for (auto& s : long_strings) value[s.key] = std::string(s.view());
    long_strings.clear();
    return value;
  }
};

}  // namespace tessiva::messages
