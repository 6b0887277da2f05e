#pragma once
/// The settings record: its defaults, its JSON forms (the text of config.json and the
/// "config" value of a request), and the validation every stored record has passed.

#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace tessiva::config {

/// An application that the user added.
struct App {
  std::string id;
  std::string name;
  /// Full path of the executable.
  std::string path;
  /// Argument text; "{file}" stands for the saved file.
  std::string args;
  /// File types the user associated with the application, in the user's order.
  std::vector<std::string> file_types;

  friend bool operator==(const App&, const App&) = default;
};

/// All user settings. Members are in their config.json order.
struct Config {
  std::uint32_t version = 1;
  /// None, empty or blank: the default save folder.
  std::optional<std::string> save_folder;
  std::string name_pattern = "{name}_{date}_{time}";
  std::vector<App> apps;
  /// File type (lower-case extension) to an app id or "handler:" and a handler id.
  std::map<std::string, std::string> type_defaults;
  std::string language = "auto";
  std::string theme = "system";
  bool show_detected_apps = true;
  bool reveal_after_save = false;

  friend bool operator==(const Config&, const Config&) = default;
};

/// Every limit of `validate_config`.
inline constexpr std::size_t MAX_APPS = 200;
inline constexpr std::size_t MAX_APP_ID_BYTES = 64;
inline constexpr std::size_t MAX_APP_NAME_CHARS = 120;
inline constexpr std::size_t MAX_PATH_BYTES = 1024;
inline constexpr std::size_t MAX_ARGS_BYTES = 1024;
inline constexpr std::size_t MAX_FILE_TYPES = 200;
inline constexpr std::size_t MAX_FILE_TYPE_BYTES = 32;
inline constexpr std::size_t MAX_NAME_PATTERN_CHARS = 100;
inline constexpr std::size_t MAX_HANDLER_ID_BYTES = 1024;
inline constexpr std::string_view HANDLER_PREFIX = "handler:";

/// The record with every field at its default.
[[nodiscard]] Config default_config();

/// Reads config.json text. Only space, tab, line feed and carriage return may stand
/// around the object (a byte-order mark makes the text invalid), and members are
/// examined in the order of the text, so the message names the first problem there:
/// an unknown, duplicate or missing field, or a value of the wrong type. Does not
/// validate.
[[nodiscard]] std::expected<Config, std::string> parse_config(std::string_view text);
[[nodiscard]] inline std::expected<Config, std::string> parse_config(const std::string& text) {
  return parse_config(std::string_view(text));
}
[[nodiscard]] inline std::expected<Config, std::string> parse_config(const char* text) {
  return parse_config(std::string_view(text));
}

/// Reads an already parsed value (the "config" member of a request), members in
/// ascending key order, with the same messages as the text form.
[[nodiscard]] std::expected<Config, std::string> parse_config(const nlohmann::json& value);

/// Success, or the name of the first failing rule: "version", "apps", "app_id",
/// "app_name", "app_path", "app_args", "file_types", "save_folder", "name_pattern",
/// "language", "theme" or "type_defaults".
[[nodiscard]] std::expected<void, std::string_view> validate_config(const Config& config);

/// The text of config.json: the members in declaration order, pretty-printed with two
/// spaces per level, UTF-8 without escapes but those JSON requires, no byte-order mark
/// and no final line break.
[[nodiscard]] std::string write_config_json(const Config& config);

/// The record as a JSON value with the same members, for replies.
[[nodiscard]] nlohmann::json config_to_json(const Config& config);

/// True for 1 to 32 bytes of "a" to "z", "0" to "9", "_" and "-": a file type, and a
/// key of `type_defaults`.
[[nodiscard]] bool is_valid_file_type(std::string_view type) noexcept;

}  // namespace tessiva::config
