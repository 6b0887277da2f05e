#pragma once
/// The language of the texts the program shows.

#include <optional>
#include <string>
#include <string_view>

namespace tessiva::i18n {

enum class Language { En, Es, PtBr };

/// "en", "es" or "pt-BR".
[[nodiscard]] std::string_view language_code(Language language) noexcept;

/// The language a setting names exactly ("en", "es", "pt-BR", case-sensitive); none
/// for "auto" and every other text.
[[nodiscard]] std::optional<Language> language_from_setting(std::string_view setting) noexcept;

/// The language for a locale tag, by its language code: Spanish of any country ("es...")
/// gives Es, Portuguese of any country (Portugal too, "pt...") PtBr, everything else En.
[[nodiscard]] Language language_for_locale(std::string_view locale) noexcept;

/// The language to show texts in: the one `setting` (the `language` setting) names,
/// else that of the user's desktop.
[[nodiscard]] Language ui_language(const std::string& setting);

}  // namespace tessiva::i18n
