#include <gtest/gtest.h>

#include <string>

#include "i18n/language.h"
#include "i18n/texts.h"

namespace tessiva::i18n {
namespace {

TEST(I18nLanguage, LanguageIdsMapByTheirPrimaryLanguage) {
  const struct {
    std::uint16_t langid;
    Language expected;
  } cases[] = {
      {0x0C0A, Language::Es},    // Spanish (Spain, modern sort)
      {0x080A, Language::Es},    // Spanish (Mexico)
      {0x040A, Language::Es},    // Spanish (Spain, traditional sort)
      {0x000A, Language::Es},    // Spanish, no country
      {0x0416, Language::PtBr},  // Portuguese (Brazil)
      {0x0816, Language::PtBr},  // Portuguese (Portugal)
      {0x0409, Language::En},
      {0x0809, Language::En},    // English (United Kingdom)
      {0x040C, Language::En},    // French
      {0x0407, Language::En},    // German
      {0x0000, Language::En},
      {0xFC0A, Language::Es},    // only the low 10 bits count
      {0x040B, Language::En},    // Finnish: 0x0B, next to Spanish
      {0x0415, Language::En},    // Polish: 0x15, next to Portuguese
      {0x0417, Language::En},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(language_for_langid(c.langid), c.expected) << std::hex << c.langid;
  }
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
