#include <gtest/gtest.h>

#include <string>

#include "i18n/language.h"
#include "i18n/texts.h"

namespace tessiva::i18n {
namespace {

TEST(I18nLanguage, LocalesMapByTheirLanguageCode) {
  const struct {
    const char* locale;
    Language expected;
  } cases[] = {
      {"es-ES", Language::Es},   {"es-MX", Language::Es}, {"es_ES.UTF-8", Language::Es}, {"es", Language::Es},
      {"pt-BR", Language::PtBr}, {"pt-PT", Language::PtBr}, {"pt_PT.UTF-8", Language::PtBr},
      {"en-US", Language::En},   {"en-GB", Language::En}, {"fr-FR", Language::En},     {"de_DE", Language::En},
      {"C", Language::En},       {"", Language::En},      {"fi-FI", Language::En},     {"pl-PL", Language::En},
  };
  for (const auto& c : cases) EXPECT_EQ(language_for_locale(c.locale), c.expected) << c.locale;
}

TEST(I18nLanguage, OnlyTheThreeExactCodesNameALanguage) {
  const struct {
    const char* setting;
    std::optional<Language> expected;
  } cases[] = {
      {"en", Language::En},  {"es", Language::Es},  {"pt-BR", Language::PtBr}, {"auto", std::nullopt},
      {"", std::nullopt},    {"EN", std::nullopt},  {"pt-br", std::nullopt},    {"pt", std::nullopt},
      {"es ", std::nullopt}, {"fr", std::nullopt},  {"pt_BR", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(language_from_setting(c.setting), c.expected) << c.setting;
}

TEST(I18nLanguage, ExplicitSettingWinsOverTheDesktop) {
  EXPECT_EQ(ui_language("es"), Language::Es);
  EXPECT_EQ(ui_language("pt-BR"), Language::PtBr);
  EXPECT_EQ(ui_language("en"), Language::En);
}

TEST(I18nLanguage, CodesAreTheSettingTexts) {
  for (Language l : {Language::En, Language::Es, Language::PtBr}) {
    EXPECT_EQ(language_from_setting(language_code(l)), l);
  }
  EXPECT_EQ(language_code(Language::PtBr), "pt-BR");
}

TEST(I18nMessages, TextsAreTheCatalogueBytes) {
  // Spelled as bytes, so that a compiler reading the source in another charset shows up.
  const struct {
    Language language;
    MessageKey key;
    std::string_view expected;
  } cases[] = {
      {Language::En, MessageKey::UpdateDone, "Tessiva was updated."},
      {Language::Es, MessageKey::UpdateDone, "Tessiva se actualiz\xC3\xB3."},
      {Language::PtBr, MessageKey::InstallFailed, "N\xC3\xA3o foi poss\xC3\xADvel instalar o Tessiva."},
      {Language::Es, MessageKey::UninstallPrompt,
       "\xC2\xBF" "Desinstalar Tessiva? Los archivos guardados y la configuraci\xC3\xB3n se quedan en el equipo."},
      {Language::PtBr, MessageKey::UninstallPrompt,
       "Desinstalar o Tessiva? Os arquivos salvos e as configura\xC3\xA7\xC3\xB5" "es continuam no computador."},
      {Language::En, MessageKey::InstallPrompt,
       "Install Tessiva on this computer? The browser extension uses this program to save files and open them in "
       "your applications."},
      {Language::PtBr, MessageKey::InstallDone,
       "O Tessiva foi instalado. Clique com o bot\xC3\xA3o direito num arquivo no navegador e escolha Abrir com."},
      {Language::En, MessageKey::ChooseFolderTitle, "Choose the folder for saved files"},
      {Language::Es, MessageKey::ChooseAppTitle, "Elegir una aplicaci\xC3\xB3n"},
      {Language::PtBr, MessageKey::ChooseAppTitle, "Escolher um aplicativo"},
      {Language::En, MessageKey::ProgramsFilter, "Programs"},
      {Language::Es, MessageKey::ProgramsFilter, "Programas"},
      {Language::PtBr, MessageKey::ProgramsFilter, "Programas"},
      {Language::En, MessageKey::UninstallDone, "Tessiva was uninstalled."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(message_text(c.language, c.key), c.expected)
        << language_code(c.language) << " key " << static_cast<int>(c.key);
  }
}

TEST(I18nMessages, EveryKeyHasADistinctTextInEveryLanguage) {
  const MessageKey keys[] = {MessageKey::InstallPrompt,   MessageKey::InstallDone,    MessageKey::UpdateDone,
                             MessageKey::InstallFailed,   MessageKey::UninstallPrompt, MessageKey::UninstallDone,
                             MessageKey::ChooseAppTitle,  MessageKey::ProgramsFilter, MessageKey::ChooseFolderTitle};
  for (Language l : {Language::En, Language::Es, Language::PtBr}) {
    for (MessageKey a : keys) {
      EXPECT_FALSE(message_text(l, a).empty());
      for (MessageKey b : keys) {
        if (a != b) {
          EXPECT_NE(message_text(l, a), message_text(l, b));
        }
      }
    }
  }
  // Rows are not shifted between languages: each language has its own texts.
  EXPECT_NE(message_text(Language::En, MessageKey::InstallDone), message_text(Language::Es, MessageKey::InstallDone));
  EXPECT_NE(message_text(Language::Es, MessageKey::InstallDone),
            message_text(Language::PtBr, MessageKey::InstallDone));
}

}  // namespace
}  // namespace tessiva::i18n
