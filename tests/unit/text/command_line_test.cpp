#include "text/command_line.h"

#include <gtest/gtest.h>

#include "text/utf.h"

namespace tessiva::text {
namespace {

// The rules themselves are checked through the program's own command line
// (tests/unit/main); here both character types must split alike.
TEST(SplitWindowsCommandLine, NarrowAndWideSplitAlike) {
  const std::string_view lines[] = {
      "",
      "\"C:\\Program Files\\app.exe\" \"C:\\Saved\\a b.pdf\"",
      "C:\\a\\\"b c\" d",
      "p \"a\"\"b\" a\\\\\"b c\" a\\\"b \\",
      "p  \t \"unterminated arg",
      "p d\xc3\xa9j\xc3\xa0 \xf0\x9f\x98\x80",
  };
  for (const std::string_view line : lines) {
    std::vector<std::string> from_wide;
    for (const auto& a : split_windows_command_line(std::u16string_view(*utf8_to_utf16(line))))
      from_wide.push_back(*utf16_to_utf8(a));
    EXPECT_EQ(split_windows_command_line(line), from_wide) << line;
  }
}

TEST(Utf32, MalformedAndNonScalarBecomeReplacement) {
  EXPECT_EQ(utf8_to_utf32_lossy("a\xc3\xa9\xf0\x9f\x98\x80"), U"a\u00e9\U0001F600");
  // An overlong form (two U+FFFD), a lone continuation byte and a cut sequence (one each).
  EXPECT_EQ(utf8_to_utf32_lossy("\xc0\xaf" "x\x80" "y\xe2\x82"), U"\uFFFD\uFFFDx\uFFFDy\uFFFD");
  EXPECT_EQ(utf32_to_utf8_lossy(U"a\u00e9\U0001F600"), "a\xc3\xa9\xf0\x9f\x98\x80");
  EXPECT_EQ(utf32_to_utf8_lossy(std::u32string{0xD800, 'b', 0x110000}), "\xef\xbf\xbd" "b\xef\xbf\xbd");
}

}  // namespace
}  // namespace tessiva::text
