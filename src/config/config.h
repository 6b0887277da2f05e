#pragma once
/// The settings record and its defaults. Reading it from JSON is in config/reader.h,
/// its rules in config/validation.h, writing it in config/writer.h.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

/// The prefix of a `type_defaults` value that names a registered handler.
inline constexpr std::string_view HANDLER_PREFIX = "handler:";

/// The record with every field at its default.
[[nodiscard]] inline Config default_config() { return Config{}; }

/// How request handlers get the settings: called once by each request that needs
/// them, at the point it needs them, so every such request sees the settings as they
/// are then. The host hands in `load_config` (config/store.h); tests hand in a record.
using SettingsLoader = std::function<Config()>;

}  // namespace tessiva::config
