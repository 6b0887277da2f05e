#include "config/reader.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "config/validation.h"

namespace tessiva::config {
namespace {

using nlohmann::json;

constexpr std::string_view CONFIG_FIELDS =
    "expected one of `version`, `save_folder`, `name_pattern`, `apps`, `type_defaults`, `language`, `theme`, "
    "`show_detected_apps`, `reveal_after_save`";

std::string text_error(std::string_view text) {
  const auto result = parse_config_text(text);
  return result ? "(parsed)" : result.error();
}

std::string value_error(const json& value) {
  const auto result = parse_config_value(value);
  return result ? "(parsed)" : result.error();
}

/// Wraps an app object's members into a whole record.
std::string with_app(std::string_view members) {
  return R"({"version": 1, "apps": [{)" + std::string(members) + "}]}";
}

TEST(ConfigParseTest, TextMessages) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"null", "invalid type: null, expected struct Config"},
      {R"("abc")", R"(invalid type: string "abc", expected struct Config)"},
      {"5", "invalid type: integer `5`, expected struct Config"},
      {"true", "invalid type: boolean `true`, expected struct Config"},
      {"[1]", "invalid type: sequence, expected struct Config"},
      {"{}", "missing field `version`"},
      {R"({"theme": "dark"})", "missing field `version`"},
      {R"({"version": 1, "extra": 1})", "unknown field `extra`, " + std::string(CONFIG_FIELDS)},
      {R"({"Version": 1})", "unknown field `Version`, " + std::string(CONFIG_FIELDS)},
      // Members are examined in text order, and a name is judged before its value is read.
      {R"({"extra": 1, "version": "x"})", "unknown field `extra`, " + std::string(CONFIG_FIELDS)},
      {R"({"extra": [)", "unknown field `extra`, " + std::string(CONFIG_FIELDS)},
      {R"({"apps": 1, "extra": 1})", "invalid type: integer `1`, expected a sequence"},
      {R"({"version": 1, "version": 1})", "duplicate field `version`"},
      {R"({"version": 1, "theme": "dark", "theme": "dark"})", "duplicate field `theme`"},
      {R"({"version": -1})", "invalid value: integer `-1`, expected u32"},
      {R"({"version": -9223372036854775808})", "invalid value: integer `-9223372036854775808`, expected u32"},
      {R"({"version": 4294967296})", "invalid value: integer `4294967296`, expected u32"},
      {R"({"version": 18446744073709551615})", "invalid value: integer `18446744073709551615`, expected u32"},
      {R"({"version": 1.5})", "invalid type: floating point `1.5`, expected u32"},
      {R"({"version": 1.0})", "invalid type: floating point `1.0`, expected u32"},
      {R"({"version": -2.5})", "invalid type: floating point `-2.5`, expected u32"},
      {R"({"version": 1e2})", "invalid type: floating point `100.0`, expected u32"},
      {R"({"version": "1"})", R"(invalid type: string "1", expected u32)"},
      {R"({"version": null})", "invalid type: null, expected u32"},
      {R"({"version": false})", "invalid type: boolean `false`, expected u32"},
      {R"({"version": [1]})", "invalid type: sequence, expected u32"},
      {R"({"version": {}})", "invalid type: map, expected u32"},
      {R"({"version": "a\"b\\c\n\u0001é"})", R"(invalid type: string "a\"b\\c\n\u0001é", expected u32)"},
      {R"({"version": 1, "save_folder": 5})", "invalid type: integer `5`, expected a string"},
      {R"({"version": 1, "save_folder": false})", "invalid type: boolean `false`, expected a string"},
      {R"({"version": 1, "name_pattern": null})", "invalid type: null, expected a string"},
      {R"({"version": 1, "language": ["en"]})", "invalid type: sequence, expected a string"},
      {R"({"version": 1, "theme": {}})", "invalid type: map, expected a string"},
      {R"({"version": 1, "show_detected_apps": "yes"})", R"(invalid type: string "yes", expected a boolean)"},
      {R"({"version": 1, "reveal_after_save": 0})", "invalid type: integer `0`, expected a boolean"},
      {R"({"version": 1, "reveal_after_save": null})", "invalid type: null, expected a boolean"},
      {R"({"version": 1, "apps": {}})", "invalid type: map, expected a sequence"},
      {R"({"version": 1, "apps": null})", "invalid type: null, expected a sequence"},
      {R"({"version": 1, "apps": [[]]})", "invalid type: sequence, expected struct App"},
      {R"({"version": 1, "apps": ["x"]})", R"(invalid type: string "x", expected struct App)"},
      {R"({"version": 1, "apps": [null]})", "invalid type: null, expected struct App"},
      {R"({"version": 1, "type_defaults": []})", "invalid type: sequence, expected a map"},
      {R"({"version": 1, "type_defaults": "pdf"})", R"(invalid type: string "pdf", expected a map)"},
      {R"({"version": 1, "type_defaults": {"pdf": 1}})", "invalid type: integer `1`, expected a string"},
      {R"({"version": 1, "type_defaults": {"pdf": null}})", "invalid type: null, expected a string"},
      {R"({"version": 1, "type_defaults": {"pdf": {}}})", "invalid type: map, expected a string"},
      {with_app(R"("id": "a", "name": "A", "path": "C:\\a.exe", "icon": 1)"),
       "unknown field `icon`, expected one of `id`, `name`, `path`, `args`, `file_types`"},
      {with_app(R"("name": "A", "path": "C:\\a.exe")"), "missing field `id`"},
      {with_app(R"("path": "C:\\a.exe", "id": "a")"), "missing field `name`"},
      {with_app(R"("id": "a", "name": "A")"), "missing field `path`"},
      {with_app(""), "missing field `id`"},
      {with_app(R"("id": "a", "id": "b")"), "duplicate field `id`"},
      {with_app(R"("id": 1)"), "invalid type: integer `1`, expected a string"},
      {with_app(R"("id": "a", "name": "A", "path": "C:\\a.exe", "args": null)"),
       "invalid type: null, expected a string"},
      {with_app(R"("file_types": "pdf")"), R"(invalid type: string "pdf", expected a sequence)"},
      {with_app(R"("file_types": ["pdf", 1])"), "invalid type: integer `1`, expected a string"},
      {with_app(R"("file_types": [["pdf"]])"), "invalid type: sequence, expected a string"},
      // A bad value is reported before a missing field of the same object.
      {R"({"version": 1, "apps": [{"id": "a"}, {"id": 5}]})", "missing field `name`"},
  };
  for (const Case& c : cases) EXPECT_EQ(text_error(c.text), c.message) << c.text;
}

TEST(ConfigParseTest, MalformedText) {
  const std::string cases[] = {
      "",
      "   ",
      R"({"version": 1} x)",
      R"({"version": 1} {})",
      R"({"version": 1,})",
      R"({"version": 1)",
      R"({"version": 01})",
      R"({'version': 1})",
      "\xEF\xBB\xBF{\"version\": 1}",
      std::string("{\"version\": 1}\0", 15),
      std::string("{\"version\": 1}\0garbage", 22),
      std::string("{\"name_pattern\": \"a\0b\", \"version\": 1}", 37),
      "{\"version\": 1, \"theme\": \"\x80\"}",
      "{\"version\": 1, \"theme\": \"\xC0\xAF\"}",
      R"({"version": 1, "theme": "\ud800"})",
      R"({"version": 1, "theme": "\udc00x"})",
      "{\"version\": 1, \"\xFF\": 1}",
      "{\"version\": 1, \"theme\": \"a\tb\"}",  // raw control characters, also deep in long strings
      "{\"version\": 1, \"theme\": \"\x1F\"}",
      "{\"version\": 1, \"theme\": \"" + std::string(40, 'a') + "\x1A" + std::string(40, 'a') + "\"}",
      "{\"version\": 1, \"theme\": \"" + std::string(40, 'a') + "\x1B\x1C\x1D\x1E" + std::string(40, 'a') + "\"}",
      "{\"version\": 1,\x0C\"theme\": \"x\"}",
      "{\"version\": 1}\x0B",                   // vertical tab is not JSON white space
  };
  for (const std::string& text : cases) {
    EXPECT_FALSE(parse_config_text(text).has_value()) << text;
  }
  EXPECT_EQ(text_error(R"({"version": 1, "theme": "\udc00"})"), "invalid UTF-8 in a string");
}

// config.json is read by the same reader as a request frame: its numbers are converted
// as a request's are, and what no double holds is refused, not shown as infinity.
TEST(ConfigParseTest, NumbersAreReadAsInARequest) {
  EXPECT_EQ(text_error(R"({"version": 0.9868011474609375})"),
            "invalid type: floating point `0.9868011474609375`, expected u32");
  EXPECT_EQ(text_error(R"({"version": 2.2250738585072011e-308})"),
            "invalid type: floating point `2.225073858507201e-308`, expected u32");
  EXPECT_EQ(text_error(R"({"version": 9e308})"), "invalid JSON at byte 12: Number too big to be stored in double.");
  EXPECT_EQ(text_error(R"({"version": 1e999})"), "invalid JSON at byte 12: Number too big to be stored in double.");
}

TEST(ConfigParseTest, WhiteSpaceAroundTheObject) {
  const auto result = parse_config_text(" \t\r\n{\"version\": 1}\r\n \t");
  ASSERT_TRUE(result.has_value()) << result.error();
  EXPECT_EQ(*result, default_config());
}

TEST(ConfigParseTest, OnlyVersionGivesTheDefaults) {
  for (const std::string_view text : {R"({"version": 1})", R"({"version": 1, "save_folder": null})"}) {
    const auto result = parse_config_text(text);
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(*result, default_config());
    EXPECT_TRUE(validate_config(*result).has_value());
  }
  const auto other = parse_config_text(R"({"version": 2})");
  ASSERT_TRUE(other.has_value());
  EXPECT_EQ(other->version, 2u);
  EXPECT_EQ(validate_config(*other).error(), "version");
}

TEST(ConfigParseTest, ValuesAreKeptAsReceived) {
  const auto result = parse_config_text(R"({
    "reveal_after_save": true, "version": 4294967295, "save_folder": "  ",
    "apps": [{"file_types": ["PDF", "pdf"], "path": " x ", "name": " Name ", "id": "b"}, {"id": "a", "name": "", "path": ""}],
    "type_defaults": {"pdf": "first", "doc": "x", "pdf": "last"},
    "show_detected_apps": false, "language": "xx", "theme": "", "name_pattern": ""})");
  ASSERT_TRUE(result.has_value()) << result.error();
  EXPECT_EQ(result->version, 4294967295u);
  EXPECT_EQ(result->save_folder, "  ");
  ASSERT_EQ(result->apps.size(), 2u);
  EXPECT_EQ(result->apps[0], (App{"b", " Name ", " x ", "", {"PDF", "pdf"}}));
  EXPECT_EQ(result->apps[1], (App{"a", "", "", "", {}}));
  // A key given twice keeps its last value.
  EXPECT_EQ(result->type_defaults, (std::map<std::string, std::string>{{"doc", "x"}, {"pdf", "last"}}));
  EXPECT_FALSE(result->show_detected_apps);
  EXPECT_TRUE(result->reveal_after_save);
  EXPECT_EQ(result->language, "xx");
  EXPECT_EQ(result->theme, "");
  EXPECT_EQ(result->name_pattern, "");

  const auto zero = parse_config_text(R"({"version": -0})");
  ASSERT_TRUE(zero.has_value()) << zero.error();
  EXPECT_EQ(zero->version, 0u);
}

TEST(ConfigParseTest, MessagesDoNotGrowWithTheInput) {
  const std::string long_text(100000, 'x');
  const std::string unknown = text_error("{\"" + long_text + "\": 1}");
  const std::string wrong = text_error("{\"version\": \"" + long_text + "\"}");
  EXPECT_TRUE(unknown.starts_with("unknown field `" + std::string(256, 'x') + "...`, expected one of")) << unknown;
  EXPECT_EQ(wrong, "invalid type: string \"" + std::string(256, 'x') + "...\", expected u32");
  // A cut never splits a character.
  std::string accents = "x";
  for (int i = 0; i < 200; ++i) accents += "\xC3\xA9";
  EXPECT_EQ(text_error("{\"version\": \"" + accents + "\"}"),
            "invalid type: string \"" + accents.substr(0, 255) + "...\", expected u32");
}

TEST(ConfigParseTest, ValueMessages) {
  struct Case {
    json value;
    std::string message;
  };
  json binary = json::binary({1, 2});
  const Case cases[] = {
      {json(nullptr), "invalid type: null, expected struct Config"},
      {json(R"({"version": 1})"), R"(invalid type: string "{\"version\": 1}", expected struct Config)"},
      {json(7u), "invalid type: integer `7`, expected struct Config"},
      {json::array({1}), "invalid type: sequence, expected struct Config"},
      {json::object(), "missing field `version`"},
      {json{{"extra", 1}}, "unknown field `extra`, " + std::string(CONFIG_FIELDS)},
      // Members are examined in ascending key order.
      {json{{"zzz", 1}, {"apps", 5}}, "invalid type: integer `5`, expected a sequence"},
      {json{{"version", 1}, {"b", 1}, {"apps", 5}}, "invalid type: integer `5`, expected a sequence"},
      {json{{"version", "x"}, {"theme", 1}}, "invalid type: integer `1`, expected a string"},
      {json{{"version", json(-1)}}, "invalid value: integer `-1`, expected u32"},
      {json{{"version", json(4294967296u)}}, "invalid value: integer `4294967296`, expected u32"},
      {json{{"version", json(std::int64_t{4294967296})}}, "invalid value: integer `4294967296`, expected u32"},
      {json{{"version", 1.5}}, "invalid type: floating point `1.5`, expected u32"},
      {json{{"version", 2.0}}, "invalid type: floating point `2.0`, expected u32"},
      {json{{"version", 1e300}}, "invalid type: floating point `1e+300`, expected u32"},
      {json{{"version", binary}}, "invalid type: byte array, expected u32"},
      {json{{"version", 1}, {"apps", json::array({json{{"icon", 1}}})}},
       "unknown field `icon`, expected one of `id`, `name`, `path`, `args`, `file_types`"},
      {json{{"version", 1}, {"apps", json::array({json{{"id", "a"}, {"path", "C:\\a"}}})}}, "missing field `name`"},
      {json{{"version", 1}, {"type_defaults", json{{"pdf", true}}}}, "invalid type: boolean `true`, expected a string"},
  };
  for (const Case& c : cases) EXPECT_EQ(value_error(c.value), c.message) << c.value.dump();
}

TEST(ConfigParseTest, ValueIntegersOfBothKinds) {
  // The channel stores non-negative integers as unsigned; values built in code use
  // signed integers. Both read the same.
  for (const json& version : {json(1u), json(1), json(std::int64_t{1})}) {
    const auto result = parse_config_value(json{{"version", version}});
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(*result, default_config());
  }
}

}  // namespace
}  // namespace tessiva::config
