#include "i18n/language.h"

#include "platform/locale.h"

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

Language language_for_locale(std::string_view locale) noexcept {
  if (locale.starts_with("es")) return Language::Es;
  if (locale.starts_with("pt")) return Language::PtBr;
  return Language::En;
}

Language ui_language(const std::string& setting) {
  if (auto chosen = language_from_setting(setting)) return *chosen;
  return language_for_locale(platform::user_interface_locale());
}

}  // namespace tessiva::i18n
