#include "codec/hex.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace tessiva::codec {
namespace {

TEST(Hex, EncodesLowerCaseHighNibbleFirst) {
  EXPECT_EQ(hex_encode(""), "");
  EXPECT_EQ(hex_encode("{"), "7b");
  EXPECT_EQ(hex_encode(std::string_view("\x00\x0f\xf0\xff\x80", 5)), "000ff0ff80");
  EXPECT_EQ(hex_encode("{\"file\":\"C:\\\\Jos\xc3\xa9\"}"),
            "7b2266696c65223a22433a5c5c4a6f73c3a9227d");
}

TEST(Hex, DecodesEitherCase) {
  const struct {
    std::string_view text;
    std::string_view bytes;
  } cases[] = {
      {"", ""},
      {"7b", "{"},
      {"7B", "{"},
      {"c3A9", "\xc3\xa9"},
      {"00fF80", std::string_view("\x00\xff\x80", 3)},
      {"0123456789abcdefABCDEF", "\x01\x23\x45\x67\x89\xab\xcd\xef\xab\xcd\xef"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto decoded = hex_decode(c.text);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, c.bytes);
  }
}

TEST(Hex, RefusesAnythingButPairsOfDigits) {
  using enum HexError;
  const struct {
    std::string_view text;
    HexError error;
  } cases[] = {
      {"7", odd_length},
      {"7b7", odd_length},
      {"7g", invalid_digit},
      {"g7", invalid_digit},
      {"0x7b", invalid_digit},
      {"+f", invalid_digit},
      {"-1", invalid_digit},
      {" 7", invalid_digit},
      {"7b 7b ", invalid_digit},
      {"7b:7b:", invalid_digit},
      {"\xc3\xa9", invalid_digit},
      {std::string_view("7b\0\0", 4), invalid_digit},
      {"7b7b7b7Z", invalid_digit},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto decoded = hex_decode(c.text);
    ASSERT_FALSE(decoded.has_value());
    EXPECT_EQ(decoded.error(), c.error);
  }
}

TEST(Hex, RoundTripsEveryByte) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  const std::string text = hex_encode(bytes);
  EXPECT_EQ(text.size(), 512u);
  EXPECT_EQ(text.find_first_not_of("0123456789abcdef"), std::string::npos);
  const auto decoded = hex_decode(text);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, bytes);
}

}  // namespace
}  // namespace tessiva::codec
