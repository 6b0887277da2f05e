#include "platform/ui.h"

#include <cstdlib>

namespace tessiva::platform {

std::uint16_t user_default_ui_language() {
  constexpr std::uint16_t ENGLISH_US = 0x0409, SPANISH_SPAIN = 0x0C0A, PORTUGUESE_BRAZIL = 0x0416;
  // The first of these that is set decides; of LANGUAGE, a list of languages in order
  // of preference separated by colons, its first entry.
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    std::string_view locale(value);
    locale = locale.substr(0, locale.find(':'));
    if (locale.empty()) continue;
    if (locale.starts_with("es")) return SPANISH_SPAIN;
    if (locale.starts_with("pt")) return PORTUGUESE_BRAZIL;
    return ENGLISH_US;
  }
  return ENGLISH_US;
}

MessageBoxAnswer message_box(std::string_view, std::string_view, MessageBoxKind) { return MessageBoxAnswer::Cancel; }

}  // namespace tessiva::platform
