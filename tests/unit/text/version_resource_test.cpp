#include "text/version_resource.h"

#include <gtest/gtest.h>

namespace tessiva::text {
namespace {

TEST(VersionText, QueryPathOfTheFirstTranslation) {
  EXPECT_EQ(description_query(0x0409, 0x04B0), u"\\StringFileInfo\\040904b0\\FileDescription");
  EXPECT_EQ(description_query(0x0407, 0x04E4), u"\\StringFileInfo\\040704e4\\FileDescription");
  EXPECT_EQ(description_query(0xABCD, 0x0001), u"\\StringFileInfo\\abcd0001\\FileDescription");
  EXPECT_EQ(description_query(0, 0), u"\\StringFileInfo\\00000000\\FileDescription");
}

TEST(VersionText, UpToTheFirstNulDecodedAndTrimmed) {
  const char16_t lone[] = {u'a', 0xD800, u'b'};
  const struct {
    std::u16string units;
    std::string want;
  } cases[] = {
      {u"Tessiva", "Tessiva"},
      {std::u16string(u"Tessiva\0", 8), "Tessiva"},
      {std::u16string(u"Tessiva\0junk", 12), "Tessiva"},
      {std::u16string(u"\0Tessiva", 8), ""},
      {u"  Tessiva \r\n", "Tessiva"},
      {u"\t\u00A0\u3000Text Editor\u2029\u0085", "Text Editor"},
      {u"     ", ""},
      {u"", ""},
      {u"Bearbeitungsprogramm f\u00FCr Texte", "Bearbeitungsprogramm f\xC3\xBCr Texte"},
      {std::u16string(lone, 3), "a\xEF\xBF\xBD" "b"},
      {u"\u200B zero width \u200B", "\xE2\x80\x8B zero width \xE2\x80\x8B"},  // not White_Space
  };
  for (const auto& c : cases) EXPECT_EQ(description_text(c.units), c.want);
}

}  // namespace
}  // namespace tessiva::text
