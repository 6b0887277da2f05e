#include "codec/base64.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "reference_base64.h"
#include "vector_paths.h"

namespace tessiva::codec {
namespace {

std::vector<std::byte> bytes_of(std::string_view s) {
  const auto* p = reinterpret_cast<const std::byte*>(s.data());
  return {p, p + s.size()};
}

std::string text_of(std::span<const std::byte> b) {
  return {reinterpret_cast<const char*>(b.data()), b.size()};
}

std::expected<std::string, DecodeError> decode(std::string_view text) {
  std::vector<std::byte> out(base64_decoded_size_max(text.size()));
  auto n = base64_decode(text, out);
  if (!n) return std::unexpected(n.error());
  return text_of(std::span(out).first(*n));
}

using test::reference_base64_decode;

TEST(Base64Encode, KnownTexts) {
  const struct {
    std::string_view bytes;
    std::string_view text;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"ab", "YWI="},
      {"abc", "YWJj"},
      {"\xfb\xff\xbf", "+/+/"},
      {std::string_view("\0\0\0\0", 4), "AAAAAA=="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(base64_encode(bytes_of(c.bytes)), c.text);
  }
}

TEST(Base64Decode, AcceptedTexts) {
  const struct {
    std::string_view text;
    std::string_view bytes;
  } cases[] = {
      {"", ""},
      {"=", ""},
      {"====", ""},
      {"aGVsbG8=", "hello"},
      {"aGVsbG8", "hello"},
      {"aGVsbG8=====", "hello"},  // any number of trailing "="
      {"YQ", "a"},
      {"YQ=", "a"},       // padding need not be complete
      {"YWJj=", "abc"},   // nor absent after a full group
      {"YWI", "ab"},
      {"+/+/", "\xfb\xff\xbf"},
      {"-_-_", "\xfb\xff\xbf"},
      {"+_-/", "\xfb\xff\xbf"},  // both alphabets in one text
      {"Zm9vYmFy", "foobar"},
      {"QUJDREVGR0hJSktMTU5PUA", "ABCDEFGHIJKLMNOP"},  // the eight-character steps and a tail
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto decoded = decode(c.text);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, c.bytes);
  }
}

TEST(Base64Decode, RefusedTexts) {
  using enum DecodeError;
  const struct {
    std::string_view text;
    DecodeError error;
  } cases[] = {
      {"aGVsbG9", nonzero_spare_bits},  // '9' leaves bits in the last two places
      {"YR==", nonzero_spare_bits},
      {"YWK", nonzero_spare_bits},
      {"aGVsb", invalid_length},
      {"Y", invalid_length},
      {"Y===", invalid_length},
      {"a GV", invalid_character},
      {"aGV\n", invalid_character},
      {"aGVs\r\nbG9v", invalid_character},
      {"aGVsbG8=\r\n", invalid_character},  // "=" is only ignored at the very end
      {"YQ==YQ==", invalid_character},
      {"YW=J", invalid_character},
      {"\t", invalid_length},
      {"YWJj\tYWJ", invalid_character},
      {"YW.j", invalid_character},
      {"YW*j", invalid_character},
      {"\xc3\xa9YWJj", invalid_character},
      {std::string_view("YW\0j", 4), invalid_character},
      {"a GVs", invalid_length},  // the length is judged first
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto decoded = decode(c.text);
    ASSERT_FALSE(decoded.has_value());
    EXPECT_EQ(decoded.error(), c.error);
  }
}

TEST(Base64Decode, BadCharacterAtEveryPosition) {
  test::for_each_vector_path([&] {
    // Long enough that every position of both the eight-character steps and the tail is
    // tried.
    std::string valid;
    for (int i = 0; i < 24; ++i) valid += "Zm9vYmFy";
    for (const char bad : {' ', '\n', '=', '.', '\0', '\x80', '\xff', '@', '[', '`', '{'}) {
      for (std::size_t pos = 0; pos + 1 < valid.size(); ++pos) {
        std::string text = valid;
        text[pos] = bad;
        const auto decoded = decode(text);
        ASSERT_FALSE(decoded.has_value()) << "character " << int(bad) << " at " << pos;
        EXPECT_EQ(decoded.error(), DecodeError::invalid_character);
      }
    }
  });
}

TEST(Base64Decode, EveryByteValueAtEveryPlaceOfAVectorStep) {
  test::for_each_vector_path([&] {
    // The vector steps classify characters by their two nibbles: every byte value at
    // every place of a 32-character step, compared with the plain decoder.
    std::string valid;
    for (int i = 0; i < 12; ++i) valid += "Zm9vYmFy";
    for (int c = 0; c < 256; ++c) {
      for (std::size_t pos = 0; pos < 32; ++pos) {
        std::string text = valid;
        text[pos] = static_cast<char>(c);
        ASSERT_EQ(decode(text), reference_base64_decode(text)) << "byte " << c << " at " << pos;
      }
    }
  });
}

TEST(Base64Decode, TheSizeFromTheLengthIsWhatDecodingGives) {
  for (const std::string text : {"", "=", "====", "QQ", "QQ=", "QQ==", "QUI", "QUI=", "QUJD", "QUJDRA", "QUJDRA==="}) {
    const auto decoded = decode(text);
    ASSERT_TRUE(decoded) << text;
    EXPECT_EQ(base64_decoded_size(text), decoded->size()) << text;
  }
  for (const std::string text : {"Q", "QUJDR", "QUJDR==="}) EXPECT_EQ(base64_decoded_size(text), std::nullopt) << text;
}

TEST(Base64Decode, RoundTripsEncodedBytes) {
  std::mt19937 random(7);
  for (std::size_t size = 0; size < 300; ++size) {
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    const std::string text = base64_encode(bytes_of(bytes));
    EXPECT_EQ(text.size(), (size + 2) / 3 * 4);
    const auto decoded = decode(text);
    ASSERT_TRUE(decoded.has_value()) << text;
    EXPECT_EQ(*decoded, bytes);
  }
}

TEST(Base64Decode, MatchesReferenceOnRandomTexts) {
  test::for_each_vector_path([&] {
    constexpr std::string_view ALPHABETS =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/-_";
    constexpr std::string_view OTHERS = "= \n\r\t.*\x80\xff";
    std::mt19937 random(11);
    for (int round = 0; round < 20000; ++round) {
      const std::size_t size = random() % 80;
      std::string text;
      for (std::size_t i = 0; i < size; ++i) {
        // Mostly valid characters, so that many texts decode, with a rare stray one.
        text += random() % 200 == 0 ? OTHERS[random() % OTHERS.size()]
                                    : ALPHABETS[random() % ALPHABETS.size()];
      }
      text.append(random() % 4, '=');
      SCOPED_TRACE(text);
      const auto expected = reference_base64_decode(text);
      std::vector<std::byte> out(base64_decoded_size_max(text.size()));
      const auto n = base64_decode(text, out);
      ASSERT_EQ(n.has_value(), expected.has_value());
      if (n) {
        EXPECT_EQ(text_of(std::span(out).first(*n)), *expected);
      } else {
        EXPECT_EQ(n.error(), expected.error());
      }
    }
  });
}

// Chunk data is decoded over its own text. Lengths reach several steps of the widest
// vector path, so that a store running ahead of the characters still to be read would
// show up as wrong bytes.
TEST(Base64Decode, InPlaceGivesTheSameBytes) {
  test::for_each_vector_path([&] {
    std::mt19937 random(5);
    for (std::size_t size = 0; size < 700; size += 1 + random() % 7) {
      std::string bytes(size, '\0');
      for (char& b : bytes) b = static_cast<char>(random());
      std::string text = base64_encode(bytes_of(bytes));
      if (random() % 2 == 0) text = std::string(base64_without_padding(text));
      const auto n = base64_decode_in_place(text);
      ASSERT_TRUE(n.has_value()) << size;
      EXPECT_EQ(text.substr(0, *n), bytes) << size;
    }
    std::string bad = base64_encode(bytes_of(std::string(300, 'x')));
    bad[bad.size() - 5] = '*';
    EXPECT_EQ(base64_decode_in_place(bad).error(), DecodeError::invalid_character);
  });
}

TEST(Base64Decode, FitsTheAdvertisedBufferExactly) {
  test::for_each_vector_path([&] {
    // With a buffer of exactly the advertised size, the eight-byte stores of the fast
    // path must stay inside it (the sanitizer builds check this).
    std::mt19937 random(3);
    for (std::size_t size = 0; size < 200; ++size) {
      std::string bytes(size, '\0');
      for (char& b : bytes) b = static_cast<char>(random());
      std::string text = base64_encode(bytes_of(bytes));
      while (!text.empty() && text.back() == '=') text.pop_back();
      std::vector<std::byte> out(base64_decoded_size_max(text.size()));
      const auto n = base64_decode(text, out);
      ASSERT_TRUE(n.has_value());
      EXPECT_EQ(text_of(std::span(out).first(*n)), bytes);
    }
  });
}

}  // namespace
}  // namespace tessiva::codec
