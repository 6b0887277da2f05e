#include <gtest/gtest.h>

#include <bit>
#include <random>

#include "messages/json_reader.h"
#include "messages/reply.h"
#include "vector_paths.h"

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

TEST(JsonReader, FilesOfOtherProgramsMayStartWithAByteOrderMark) {
  EXPECT_FALSE(read_json("\xEF\xBB\xBF{\"a\":1}"));
  EXPECT_EQ(read_json_file("\xEF\xBB\xBF{\"a\":1}"), json::parse(R"({"a":1})"));
  EXPECT_FALSE(read_json_file("\xEF\xBB\xBF\xEF\xBB\xBF{}"));
  // Otherwise the same rules as frames.
  EXPECT_FALSE(read_json_file(std::string(128, '[') + std::string(128, ']')));
  EXPECT_FALSE(read_json_file("[\"\xff\"]"));
}

TEST(JsonReader, RefusesMalformedText) {
  test::for_each_vector_path([&] {
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
  });
}

// The string scan looks at 64 bytes per step, changes its comparison after the first
// byte above 0x7F and its vectors after 4 KiB: what it must find is placed at every
// offset of several steps on both sides of those changes.
TEST(JsonReader, FindsEveryByteThatMattersAtAnyOffsetOfALongString) {
  test::for_each_vector_path([&] {
    for (std::size_t at : {0, 1, 15, 16, 63, 64, 65, 127, 128, 200, 1000, 4095, 4096, 4097, 4127, 4128, 4159, 4160, 5000}) {
      const std::string before(at, 'a'), after(150, 'b');
      const auto accepted = [&](std::string_view middle) {
        return read_json("[\"" + before + std::string(middle) + after + "\"]").has_value();
      };
      for (int c : {0x00, 0x01, 0x1a, 0x1f}) EXPECT_FALSE(accepted(std::string(1, static_cast<char>(c)))) << c << " at " << at;
      // Invalid UTF-8 alone, and after a valid two-byte sequence has switched the scan.
      EXPECT_FALSE(accepted("\xff")) << at;
      EXPECT_FALSE(accepted("\xc3\xa9" + std::string(at, 'c') + "\xed\xa0\x80")) << at;
      EXPECT_FALSE(accepted(std::string("\xc3\xa9") + std::string(at, 'c') + '\x1f')) << at;
      EXPECT_TRUE(accepted("\xc3\xa9\xf0\x9f\x98\x80")) << at;
      EXPECT_FALSE(accepted("\\udc00")) << at;  // an escape decoding to a lone surrogate
      EXPECT_TRUE(accepted("\x7f ~")) << at;
    }
    // Escapes among long runs: the text after each escape is moved back as it is decoded.
    std::string text = "\"";
    for (int i = 0; i < 20; ++i) text += std::string(37 * i, 'x') + "\\n\\u00e9\\\"";
    text += "\"";
    EXPECT_EQ(*read_json(text), json::parse(text));
  });
}

TEST(JsonReader, LeavesLongTopLevelStringsInTheFrame) {
  const std::string big(LONG_STRING_BYTES, 'Q'), shorter(LONG_STRING_BYTES - 1, 'q');
  std::string text = R"({"type":"x","id":")" + big + R"(","data":")" + big + R"(","n":{"s":")" + big +
                     R"("},"small":")" + shorter + R"(","arr":[")" + big + R"("]})";
  std::string buffer = text + std::string(JSON_PADDING, '\0');
  auto request = read_request_in_situ(buffer.data(), text.size());
  ASSERT_TRUE(request);
  ASSERT_EQ(request->long_strings.size(), 1u);
  EXPECT_EQ(request->long_strings[0].key, "data");
  EXPECT_EQ(request->long_strings[0].view(), big);
  EXPECT_GE(request->long_strings[0].text.data(), buffer.data());  // not copied
  EXPECT_FALSE(request->value.contains("data"));
  EXPECT_EQ(request->value["id"], big);  // "id" and "type" always stay in the value
  EXPECT_EQ(request->value["n"]["s"], big);
  EXPECT_EQ(request->value["small"], shorter);
  EXPECT_EQ(request->value["arr"][0], big);
  EXPECT_EQ(request->string_member("data"), big);
  EXPECT_EQ(request->string_member("small"), shorter);
  EXPECT_EQ(request->string_member("n"), std::nullopt);
  EXPECT_EQ(request->string_member("missing"), std::nullopt);

  const json& value = request->with_long_strings();
  EXPECT_TRUE(request->long_strings.empty());
  EXPECT_EQ(value["data"], big);
  EXPECT_EQ(request->string_member("data"), big);
}

TEST(JsonReader, TheLastOfRepeatedKeysCountsForLongStringsToo) {
  const std::string big(LONG_STRING_BYTES, 'Q'), other(LONG_STRING_BYTES + 5, 'R');
  const auto read = [](std::string text) {
    text.append(JSON_PADDING, '\0');
    auto request = read_request_in_situ(text.data(), text.size() - JSON_PADDING);
    EXPECT_TRUE(request);
    // The texts point into `text`: compare with copies before it goes.
    std::vector<std::pair<std::string, std::string>> longs;
    for (const auto& s : request->long_strings) longs.emplace_back(s.key, std::string(s.view()));
    return std::pair(request->value, longs);
  };
  using Longs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(read(R"({"d":")" + big + R"(","d":"s"})"), std::pair(json{{"d", "s"}}, Longs{}));
  EXPECT_EQ(read(R"({"d":"s","d":")" + big + R"("})"), std::pair(json::object(), Longs{{"d", big}}));
  EXPECT_EQ(read(R"({"d":")" + big + R"(","d":")" + other + R"("})"), std::pair(json::object(), Longs{{"d", other}}));
  EXPECT_EQ(read(R"({"d":")" + big + R"(","d":[1]})"), std::pair(json{{"d", {1}}}, Longs{}));
  // An escape inside a long string: the view holds the decoded text.
  EXPECT_EQ(read(R"({"d":"\u0041)" + big + R"("})").second, (Longs{{"d", "A" + big}}));
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

// Replies are written by our own writer; the generic library's writer is the reference
// for every byte, over random values with every kind of number, text that needs
// escaping, and text that is not valid UTF-8.
TEST(CompactWriter, WritesExactlyWhatTheGenericWriterWrites) {
  constexpr unsigned SEED = 20240;
  std::mt19937_64 random(SEED);
  const auto text = [&] {
    static const std::string pieces[] = {"a", "Z", "\"", "\\", "/", "\x01", "\x1f", "\x7f", "\t", "\n", "\xc3\xa9",
                                         "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xff", "\xc3", "\xed\xa0\x80",
                                         "\xc0\xaf", "\xf4\x90\x80\x80", std::string(1, '\0')};
    std::string out;
    for (auto n = random() % 6; n > 0; --n) out += pieces[random() % std::size(pieces)];
    return out;
  };
  const auto number = [&]() -> json {
    switch (random() % 4) {
      case 0: return static_cast<std::int64_t>(random());
      case 1: return random() >> (random() % 64);
      case 2: return std::bit_cast<double>(random());  // any pattern: NaN, infinities, subnormals
      default: return static_cast<double>(static_cast<std::int64_t>(random() % 2001) - 1000) / 8;
    }
  };
  const auto value = [&](auto& self, int depth) -> json {
    switch (depth > 3 ? random() % 4 : random() % 6) {
      case 0: return nullptr;
      case 1: return random() % 2 == 0;
      case 2: return number();
      case 3: return text();
      case 4: {
        json array = json::array();
        for (auto n = random() % 4; n > 0; --n) array.push_back(self(self, depth + 1));
        return array;
      }
      default: {
        json object = json::object();
        for (auto n = random() % 4; n > 0; --n) object[text()] = self(self, depth + 1);
        return object;
      }
    }
  };
  const auto generic = [](const json& v) { return v.dump(-1, ' ', false, json::error_handler_t::replace); };
  for (int i = 0; i < 3000; ++i) {
    const json v = value(value, 0);
    ASSERT_EQ(write_compact(v), generic(v)) << "seed " << SEED << ", value " << i;
    const json id = value(value, 2);
    ASSERT_EQ(write_reply({id, v}), generic(success_reply(id, v))) << "seed " << SEED << ", value " << i;
    const HostError error{error_code::IO_ERROR, i % 2 == 0 ? std::optional(text()) : std::nullopt};
    ASSERT_EQ(write_reply({id, std::unexpected(error)}), generic(error_reply(id, error)))
        << "seed " << SEED << ", value " << i;
  }
}

}  // namespace
}  // namespace tessiva::messages
