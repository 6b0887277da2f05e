#include "i18n/language.h"

#include "platform/ui.h"

namespace tessiva::i18n {

std::string_view language_code(Language language) noexcept {
  switch (language) {
    case Language::En: return "en";
    case Language::Es: return "es";
    case Language::PtBr: return "pt-BR";
  }
  return "en";
}

std::optional<Language> language_from_setting(std::string_view setting) noexcept {
  if (setting == "pt-BR") return Language::PtBr;
  if (setting == "en") return Language::En;
  if (setting == "es") return Language::Es;
  return std::nullopt;
}

Language language_for_langid(std::uint16_t langid) noexcept {
  constexpr std::uint16_t PRIMARY_SPANISH = 0x0A, PRIMARY_PORTUGUESE = 0x16;
  switch (langid & 0x3FF) {
    case PRIMARY_SPANISH: return Language::Es;
    case PRIMARY_PORTUGUESE: return Language::PtBr;
    default: return Language::En;
  }
}

Language ui_language(const std::string& setting) {
  if (auto chosen = language_from_setting(setting)) return *chosen;
  return language_for_langid(platform::user_default_ui_language());
}

}  // namespace tessiva::i18n
