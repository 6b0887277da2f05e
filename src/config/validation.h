#pragma once
/// The rules every stored settings record has passed.

#include <expected>
#include <string_view>

#include "config/config.h"
#include "text/file_type.h"

namespace tessiva::config {

/// Every limit of `validate_config`.
inline constexpr std::size_t MAX_APPS = 200;
inline constexpr std::size_t MAX_APP_ID_BYTES = 64;
inline constexpr std::size_t MAX_APP_NAME_CHARS = 120;
inline constexpr std::size_t MAX_PATH_BYTES = 1024;
inline constexpr std::size_t MAX_ARGS_BYTES = 1024;
inline constexpr std::size_t MAX_FILE_TYPES = 200;
inline constexpr std::size_t MAX_FILE_TYPE_BYTES = text::MAX_FILE_TYPE_BYTES;
inline constexpr std::size_t MAX_NAME_PATTERN_CHARS = 100;
inline constexpr std::size_t MAX_HANDLER_ID_BYTES = 1024;

/// Success, or the name of the first failing rule: "version", "apps", "app_id",
/// "app_name", "app_path", "app_args", "file_types", "save_folder", "name_pattern",
/// "language", "theme" or "type_defaults".
[[nodiscard]] std::expected<void, std::string_view> validate_config(const Config& config);

/// `text::is_file_type`: a file type, and a key of `type_defaults`.
[[nodiscard]] bool is_valid_file_type(std::string_view type) noexcept;

}  // namespace tessiva::config
