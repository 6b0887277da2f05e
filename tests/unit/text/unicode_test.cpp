#include "text/unicode.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace tessiva::text {
namespace {

TEST(UnicodeTest, WhiteSpaceIsExactlyTheUnicodeSet) {
  constexpr char32_t white[] = {0x09,   0x0A,   0x0B,   0x0C,   0x0D,   0x20,   0x85,   0xA0,   0x1680,
                                0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008,
                                0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
  std::size_t count = 0;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    bool expected = false;
    for (const char32_t w : white) expected |= c == w;
    ASSERT_EQ(is_white_space(c), expected) << std::hex << static_cast<unsigned>(c);
    count += expected;
  }
  EXPECT_EQ(count, 25u);
  // Look-alikes that are not White_Space.
  EXPECT_FALSE(is_white_space(0x200B));  // zero width space
  EXPECT_FALSE(is_white_space(0x180E));  // Mongolian vowel separator
  EXPECT_FALSE(is_white_space(0xFEFF));  // byte-order mark
}

TEST(UnicodeTest, BlankAndTrim) {
  struct Case {
    std::string_view text;
    std::string_view trimmed;
  };
  const Case cases[] = {
      {"", ""},
      {"   ", ""},
      {"\t\r\n\v\f", ""},
      {"\xC2\x85\xC2\xA0\xE1\x9A\x80\xE2\x80\x80\xE2\x80\x8A\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\x9F"
       "\xE3\x80\x80",
       ""},
      {"  a b  ", "a b"},
      {"\xE3\x80\x80名前\xE3\x80\x80", "名前"},
      {"\xE2\x80\x8B", "\xE2\x80\x8B"},              // zero width space stays
      {" \xEF\xBB\xBF ", "\xEF\xBB\xBF"},             // so does a byte-order mark
      {"\xC2\xA0x\xC2\xA0", "x"},
      {" \x80 ", "\x80"},                            // a stray continuation byte is a character
      {"\xE2\x80", "\xE2\x80"},                      // truncated U+2000
      {" \xE2\x80", "\xE2\x80"},
      {"\xC2", "\xC2"},
      {"\x80\xE2\x80\x80", "\x80"},
      {"\xE2\x80\x80\x80", "\x80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(trim_white_space(c.text), c.trimmed) << c.text;
    EXPECT_EQ(is_blank(c.text), c.trimmed.empty()) << c.text;
  }
}

TEST(UnicodeTest, CodePointCount) {
  EXPECT_EQ(code_point_count(""), 0u);
  EXPECT_EQ(code_point_count("abc"), 3u);
  EXPECT_EQ(code_point_count("h\xC3\xA9llo"), 5u);
  EXPECT_EQ(code_point_count("日本語"), 3u);
  EXPECT_EQ(code_point_count("\xF0\x9F\x98\x80!"), 2u);
}

}  // namespace
}  // namespace tessiva::text
