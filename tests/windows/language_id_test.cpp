#include "platform/windows/language_id.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "i18n/language.h"

namespace tessiva::platform {
namespace {

// The user's interface language id reaches the texts as a locale tag: by its primary
// language, whatever its country.
TEST(LanguageId, LanguageIdsMapByTheirPrimaryLanguage) {
  using i18n::Language;
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
      {0xFC0A, Language::Es},    // a country the system has no tag for: the language counts
      {0x040B, Language::En},    // Finnish: 0x0B, next to Spanish
      {0x0415, Language::En},    // Polish: 0x15, next to Portuguese
      {0x0417, Language::En},
  };
  for (const auto& c : cases) {
    const std::string locale = locale_of_language_id(c.langid);
    EXPECT_EQ(i18n::language_for_locale(locale), c.expected) << std::hex << c.langid << " " << locale;
  }
}

}  // namespace
}  // namespace tessiva::platform
