#include <gtest/gtest.h>

#include "messages/json_reader.h"
#include "messages/reply.h"

namespace tessiva::messages {
namespace {

using nlohmann::json;

TEST(JsonReader, BuildsTheSameValuesAsAGenericParser) {
  for (const char* text : {R"({"b":[1,-2,3.5,true,false,null,"s"],"a":{"x":{}},"c":[]})", "18446744073709551615",
                           "-9223372036854775808", "0", "-0", "1.0", "1e3", "-0.0",
                           "18446744073709551616", "-9223372036854775809", "0.9868011474609375",
                           "123456789.12345679", "5e-324", "1.7976931348623157e308", R"("\u00e9\ud83d\ude00\n\u0000")",
                           R"({"k":"\"\\\/\b\f\n\r\t"})", "[[[]]]"}) {
    const auto value = read_json(text);
    ASSERT_TRUE(value) << text;
    const json expected = json::parse(text);
    EXPECT_EQ(*value, expected) << text;
    EXPECT_EQ(value->type(), expected.type()) << text;
    EXPECT_EQ(write_compact(*value), expected.dump()) << text;
  }
}

TEST(JsonReader, KeepsTheLastOfDuplicateKeys) {
  EXPECT_EQ(*read_json(R"({"a":1,"b":2,"a":{"c":3}})"), json::parse(R"({"a":{"c":3},"b":2})"));
}

TEST(JsonReader, CountsNestingFromTheOutermostContainer) {
  const auto nest = [](int levels) { return std::string(levels, '[') + std::string(levels, ']'); };
  EXPECT_TRUE(read_json(nest(127)));
  EXPECT_FALSE(read_json(nest(128)));
  EXPECT_FALSE(read_json(nest(100000)));  // refused without deep recursion
  std::string objects;
  for (int i = 0; i < 127; ++i) objects += "{\"a\":";
  EXPECT_TRUE(read_json(objects + "1" + std::string(127, '}')));
  EXPECT_FALSE(read_json("[" + objects + "1" + std::string(127, '}') + "]"));
}

TEST(JsonReader, RefusesMalformedText) {
  for (std::string text : {"", " ", "{", "}", "[1 2]", "{'a':1}", "tru", "01", "+1", "1.", ".5", "{\"a\" 1}",
                           "\"\\x\"", "\"\\u12\"", "/*c*/1", "Infinity", "1 2"}) {
    EXPECT_FALSE(read_json(text)) << text;
  }
  // Raw control characters, inside strings or out, whatever the alignment.
  for (int c : {0x00, 0x01, 0x08, 0x0b, 0x0c, 0x19, 0x1a, 0x1f}) {
    for (std::size_t pad : {0, 1, 7, 15, 16, 40}) {
      std::string text = "[\"" + std::string(pad, 'a') + "\"]";
      text.insert(2 + pad / 2, 1, static_cast<char>(c));
      EXPECT_FALSE(read_json(text)) << c << " at " << pad;
    }
  }
  EXPECT_FALSE(read_json(std::string("[1]\x1f", 4)));
  // Overlong and surrogate encodings, bytes that never occur, and a truncated sequence.
  for (std::string text : {"\"\xc0\xaf\"", "\"\xed\xa0\x80\"", "\"\xf5\x80\x80\x80\"", "\"\xe2\x82\"",
                           "{\"\xff\":1}"}) {
    EXPECT_FALSE(read_json(text)) << text;
  }
}

TEST(CompactWriter, EscapesOnlyWhatJsonRequires) {
  json v = json::object();
  v["z"] = std::string("\x01\x08\x09\x0a\x0c\x0d\x1f\x7f\"\\/\xc3\xa9", 13);
  v["a"] = json::array({1, 2.5, nullptr});
  EXPECT_EQ(write_compact(v), "{\"a\":[1,2.5,null],\"z\":\"\\u0001\\b\\t\\n\\f\\r\\u001f\x7f\\\"\\\\/\xc3\xa9\"}");
}

TEST(CompactWriter, OrdersKeysByBytes) {
  json v = json::object();
  for (const char* k : {"b", "B", "\xc3\xa9", "a", "_", "ab"}) v[k] = 0;
  EXPECT_EQ(write_compact(v), "{\"B\":0,\"_\":0,\"a\":0,\"ab\":0,\"b\":0,\"\xc3\xa9\":0}");
}

TEST(Replies, HaveTheirMembersInKeyOrder) {
  EXPECT_EQ(write_compact(success_reply("x", json::object())), R"({"id":"x","ok":true,"result":{}})");
  EXPECT_EQ(write_compact(error_reply(nullptr, HostError{error_code::BUSY, std::nullopt})),
            R"({"error":{"code":"busy"},"id":null,"ok":false})");
  EXPECT_EQ(write_compact(error_reply(json::array({1}), HostError::io_error("Access is denied. (os error 5)"))),
            R"j({"error":{"code":"io_error","detail":"Access is denied. (os error 5)"},"id":[1],"ok":false})j");
}

}  // namespace
}  // namespace tessiva::messages
