#include "config/validation.h"

#include <unordered_set>

#include "config/fields.h"
#include "platform/files.h"
#include "platform/launch.h"
#include "text/argument_words.h"
#include "text/paths.h"
#include "text/unicode.h"

namespace tessiva::config {
namespace {

using namespace std::string_view_literals;

constexpr bool is_app_id_char(char c) noexcept {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

bool is_valid_app_id(std::string_view id) noexcept {
  if (id.empty() || id.size() > MAX_APP_ID_BYTES) return false;
  for (const char c : id) {
    if (!is_app_id_char(c)) return false;
  }
  return true;
}

bool is_valid_path(std::string_view path) noexcept {
  return !text::is_blank(path) && path.size() <= MAX_PATH_BYTES &&
         text::is_absolute_path(path, platform::native_path_style());
}

/// `s` with every occurrence of `what` removed, in one pass from the left.
std::string remove_all(std::string_view s, std::string_view what) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t at; (at = s.find(what)) != std::string_view::npos;) {
    out += s.substr(0, at);
    s.remove_prefix(at + what.size());
  }
  out += s;
  return out;
}

bool is_valid_name_pattern(std::string_view pattern) {
  if (pattern.empty() || text::code_point_count(pattern) > MAX_NAME_PATTERN_CHARS) return false;
  if (pattern.find("{name}") == std::string_view::npos && pattern.find("{date}") == std::string_view::npos &&
      pattern.find("{time}") == std::string_view::npos) {
    return false;
  }
  const std::string rest = remove_all(remove_all(remove_all(pattern, "{name}"), "{date}"), "{time}");
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const auto c = static_cast<unsigned char>(rest[i]);
    if (c < 0x20 || c == 0x7F || "{}\"*/:<>?\\|"sv.find(static_cast<char>(c)) != std::string_view::npos) return false;
    // U+0080 to U+009F are C2 80 to C2 9F.
    if (c == 0xC2 && i + 1 < rest.size() && static_cast<unsigned char>(rest[i + 1]) <= 0x9F) return false;
  }
  return true;
}

}  // namespace

bool is_valid_file_type(std::string_view type) noexcept { return text::is_file_type(type); }

std::expected<void, std::string_view> validate_config(const Config& config) {
  if (config.version != 1) return std::unexpected(field_name(ConfigField::Version));
  if (config.apps.size() > MAX_APPS) return std::unexpected(field_name(ConfigField::Apps));
  std::unordered_set<std::string_view> ids;
  ids.reserve(config.apps.size());
  for (const App& app : config.apps) {
    if (!is_valid_app_id(app.id) || !ids.insert(app.id).second) return std::unexpected("app_id"sv);
    if (text::is_blank(app.name) || text::code_point_count(app.name) > MAX_APP_NAME_CHARS) {
      return std::unexpected("app_name"sv);
    }
    if (!is_valid_path(app.path)) return std::unexpected("app_path"sv);
    if (app.args.size() > MAX_ARGS_BYTES || app.args.find_first_of("\0\n\r"sv) != std::string::npos) {
      return std::unexpected("app_args"sv);
    }
    // Where arguments are passed one by one they must split into words.
    if (platform::native_argument_convention() == platform::ArgumentConvention::ArgumentVector &&
        !text::split_argument_words(app.args)) {
      return std::unexpected("app_args"sv);
    }
    if (app.file_types.size() > MAX_FILE_TYPES) return std::unexpected(field_name(AppField::FileTypes));
    for (const std::string& type : app.file_types) {
      if (!is_valid_file_type(type)) return std::unexpected(field_name(AppField::FileTypes));
    }
  }
  if (const auto& folder = config.save_folder) {
    const bool absolute = text::is_absolute_path(*folder, platform::native_path_style());
    if (folder->size() > MAX_PATH_BYTES || !(text::is_blank(*folder) || absolute)) {
      return std::unexpected(field_name(ConfigField::SaveFolder));
    }
  }
  if (!is_valid_name_pattern(config.name_pattern)) return std::unexpected(field_name(ConfigField::NamePattern));
  if (config.language != "auto" && config.language != "en" && config.language != "es" && config.language != "pt-BR") {
    return std::unexpected(field_name(ConfigField::Language));
  }
  if (config.theme != "dark" && config.theme != "light" && config.theme != "system") {
    return std::unexpected(field_name(ConfigField::Theme));
  }
  for (const auto& [type, target] : config.type_defaults) {
    const std::string_view value = target;
    const bool is_handler = value.starts_with(HANDLER_PREFIX) && value.size() > HANDLER_PREFIX.size() &&
                            value.size() - HANDLER_PREFIX.size() <= MAX_HANDLER_ID_BYTES;
    if (!is_valid_file_type(type) || !(is_handler || ids.contains(value)))
      return std::unexpected(field_name(ConfigField::TypeDefaults));
  }
  return {};
}

}  // namespace tessiva::config
