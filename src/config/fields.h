#pragma once
/// The member names of config.json, written once: the reader, the writer and the
/// names of failed rules take them from here.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessiva::config {

/// The members of the record, in their config.json order.
enum class ConfigField : std::uint8_t {
  Version, SaveFolder, NamePattern, Apps, TypeDefaults, Language, Theme, ShowDetectedApps, RevealAfterSave,
};
/// The members of an element of `apps`, in their config.json order.
enum class AppField : std::uint8_t { Id, Name, Path, Args, FileTypes };

/// The names of `ConfigField` and `AppField`, in their order.
inline constexpr std::array<std::string_view, 9> CONFIG_FIELDS = {
    "version", "save_folder", "name_pattern", "apps", "type_defaults",
    "language", "theme", "show_detected_apps", "reveal_after_save"};
inline constexpr std::array<std::string_view, 5> APP_FIELDS = {"id", "name", "path", "args", "file_types"};

static_assert(static_cast<std::size_t>(ConfigField::RevealAfterSave) + 1 == CONFIG_FIELDS.size());
static_assert(static_cast<std::size_t>(AppField::FileTypes) + 1 == APP_FIELDS.size());

[[nodiscard]] constexpr std::string_view field_name(ConfigField f) noexcept {
  return CONFIG_FIELDS[static_cast<std::size_t>(f)];
}
[[nodiscard]] constexpr std::string_view field_name(AppField f) noexcept {
  return APP_FIELDS[static_cast<std::size_t>(f)];
}

}  // namespace tessiva::config
