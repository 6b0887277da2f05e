#include "config/config.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

namespace tessiva::config {
namespace {

using nlohmann::json;

constexpr std::string_view CONFIG_FIELDS =
    "expected one of `version`, `save_folder`, `name_pattern`, `apps`, `type_defaults`, `language`, `theme`, "
    "`show_detected_apps`, `reveal_after_save`";

std::string text_error(std::string_view text) {
  const auto result = parse_config(text);
  return result ? "(parsed)" : result.error();
}

std::string value_error(const json& value) {
  const auto result = parse_config(value);
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
    EXPECT_FALSE(parse_config(text).has_value()) << text;
  }
  EXPECT_EQ(text_error(R"({"version": 1, "theme": "\udc00"})"), "invalid UTF-8 in a string");
}

TEST(ConfigParseTest, WhiteSpaceAroundTheObject) {
  const auto result = parse_config(" \t\r\n{\"version\": 1}\r\n \t");
  ASSERT_TRUE(result.has_value()) << result.error();
  EXPECT_EQ(*result, default_config());
}

TEST(ConfigParseTest, OnlyVersionGivesTheDefaults) {
  for (const std::string_view text : {R"({"version": 1})", R"({"version": 1, "save_folder": null})"}) {
    const auto result = parse_config(text);
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(*result, default_config());
    EXPECT_TRUE(validate_config(*result).has_value());
  }
  const auto other = parse_config(R"({"version": 2})");
  ASSERT_TRUE(other.has_value());
  EXPECT_EQ(other->version, 2u);
  EXPECT_EQ(validate_config(*other).error(), "version");
}

TEST(ConfigParseTest, ValuesAreKeptAsReceived) {
  const auto result = parse_config(R"({
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

  const auto zero = parse_config(R"({"version": -0})");
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
    const auto result = parse_config(json{{"version", version}});
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(*result, default_config());
  }
}

Config rich_config() {
  Config c;
  c.save_folder = "D:\\Files \"saved\"";
  c.name_pattern = "{date} - {name}";
  c.apps = {
      App{"viewer", "Просмотр 文件 \xF0\x9F\x98\x80", "C:\\Program Files\\Viewer\\viewer.exe",
          "--open \"{file}\"\t/x", {"pdf", "my_type", "tar-gz"}},
      App{"A", "Control \x01\x1F\x7F chars", "\\\\server\\share\\a.exe", "", {}},
  };
  c.type_defaults = {{"pdf", "viewer"}, {"txt", "handler:{GUID}\\x"}, {"doc", "A"}};
  c.language = "pt-BR";
  c.theme = "dark";
  c.show_detected_apps = false;
  c.reveal_after_save = true;
  return c;
}

TEST(ConfigWriteTest, DefaultsAreWrittenExactly) {
  EXPECT_EQ(write_config_json(default_config()),
            "{\n"
            "  \"version\": 1,\n"
            "  \"save_folder\": null,\n"
            "  \"name_pattern\": \"{name}_{date}_{time}\",\n"
            "  \"apps\": [],\n"
            "  \"type_defaults\": {},\n"
            "  \"language\": \"auto\",\n"
            "  \"theme\": \"system\",\n"
            "  \"show_detected_apps\": true,\n"
            "  \"reveal_after_save\": false\n"
            "}");
}

TEST(ConfigWriteTest, NestedRecordsAndEscapes) {
  Config c;
  c.version = 4294967295u;
  c.save_folder = "";
  c.apps = {App{"a", "Ä \"q\" \\ \n\t\b\f\r\x01\x7F", "C:\\a.exe", "", {"pdf", "txt"}}, App{"b", "B", "C:\\b", "x", {}}};
  c.type_defaults = {{"txt", "b"}, {"pdf", "a"}};
  EXPECT_EQ(write_config_json(c),
            "{\n"
            "  \"version\": 4294967295,\n"
            "  \"save_folder\": \"\",\n"
            "  \"name_pattern\": \"{name}_{date}_{time}\",\n"
            "  \"apps\": [\n"
            "    {\n"
            "      \"id\": \"a\",\n"
            "      \"name\": \"Ä \\\"q\\\" \\\\ \\n\\t\\b\\f\\r\\u0001\x7F\",\n"
            "      \"path\": \"C:\\\\a.exe\",\n"
            "      \"args\": \"\",\n"
            "      \"file_types\": [\n"
            "        \"pdf\",\n"
            "        \"txt\"\n"
            "      ]\n"
            "    },\n"
            "    {\n"
            "      \"id\": \"b\",\n"
            "      \"name\": \"B\",\n"
            "      \"path\": \"C:\\\\b\",\n"
            "      \"args\": \"x\",\n"
            "      \"file_types\": []\n"
            "    }\n"
            "  ],\n"
            "  \"type_defaults\": {\n"
            "    \"pdf\": \"a\",\n"
            "    \"txt\": \"b\"\n"
            "  },\n"
            "  \"language\": \"auto\",\n"
            "  \"theme\": \"system\",\n"
            "  \"show_detected_apps\": true,\n"
            "  \"reveal_after_save\": false\n"
            "}");
}

TEST(ConfigWriteTest, RoundTrips) {
  const Config c = rich_config();
  ASSERT_TRUE(validate_config(c).has_value()) << validate_config(c).error();
  const std::string text = write_config_json(c);
  const auto from_text = parse_config(text);
  ASSERT_TRUE(from_text.has_value()) << from_text.error();
  EXPECT_EQ(*from_text, c);
  // The writer's pretty form is the one nlohmann writes too.
  EXPECT_EQ(json::parse(text), config_to_json(c));

  const json value = config_to_json(c);
  EXPECT_EQ(value["version"].type(), json::value_t::number_unsigned);
  const auto from_value = parse_config(value);
  ASSERT_TRUE(from_value.has_value()) << from_value.error();
  EXPECT_EQ(*from_value, c);
}

TEST(ConfigWriteTest, ReplyForm) {
  EXPECT_EQ(config_to_json(default_config()).dump(),
            R"({"apps":[],"language":"auto","name_pattern":"{name}_{date}_{time}","reveal_after_save":false,)"
            R"("save_folder":null,"show_detected_apps":true,"theme":"system","type_defaults":{},"version":1})");
}

App app(std::string id) { return App{std::move(id), "App", "C:\\app.exe", "", {}}; }

std::string repeat(std::string_view s, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += s;
  return out;
}

TEST(ConfigValidateTest, Rules) {
  using Change = std::function<void(Config&)>;
  struct Case {
    const char* what;
    Change change;
    std::string_view rule;  // empty: valid
  };
  const auto apps = [](std::size_t n) {
    std::vector<App> list;
    for (std::size_t i = 0; i < n; ++i) list.push_back(app(std::string("app-").append(std::to_string(i))));
    return list;
  };
  const auto types = [](std::size_t n) {
    std::vector<std::string> list;
    for (std::size_t i = 0; i < n; ++i) list.push_back(std::string("t").append(std::to_string(i)));
    return list;
  };
  const std::string long_path = "C:\\" + std::string(1021, 'p');
  const Case cases[] = {
      {"defaults", [](Config&) {}, ""},
      {"version 0", [](Config& c) { c.version = 0; }, "version"},
      {"version 2", [](Config& c) { c.version = 2; }, "version"},
      {"200 apps", [&](Config& c) { c.apps = apps(200); }, ""},
      {"201 apps", [&](Config& c) { c.apps = apps(201); }, "apps"},

      {"ids differing in case", [](Config& c) { c.apps = {app("a"), app("A")}; }, ""},
      {"duplicate id", [](Config& c) { c.apps = {app("a"), app("b"), app("a")}; }, "app_id"},
      {"empty id", [](Config& c) { c.apps = {app("")}; }, "app_id"},
      {"64-byte id", [](Config& c) { c.apps = {app(std::string(64, 'x'))}; }, ""},
      {"65-byte id", [](Config& c) { c.apps = {app(std::string(65, 'x'))}; }, "app_id"},
      {"id with digits and dash", [](Config& c) { c.apps = {app("Viewer-2")}; }, ""},
      {"id with underscore", [](Config& c) { c.apps = {app("my_app")}; }, "app_id"},
      {"id with space", [](Config& c) { c.apps = {app("a b")}; }, "app_id"},
      {"id with accent", [](Config& c) { c.apps = {app("caf\xC3\xA9")}; }, "app_id"},

      {"empty name", [](Config& c) { c.apps = {app("a")}; c.apps[0].name = ""; }, "app_name"},
      {"blank name", [](Config& c) { c.apps = {app("a")}; c.apps[0].name = " \t\xE3\x80\x80"; }, "app_name"},
      {"120 CJK characters", [](Config& c) { c.apps = {app("a")}; c.apps[0].name = repeat("名", 120); }, ""},
      {"121 CJK characters", [](Config& c) { c.apps = {app("a")}; c.apps[0].name = repeat("名", 121); }, "app_name"},
      {"121 ASCII characters", [](Config& c) { c.apps = {app("a")}; c.apps[0].name = std::string(121, 'n'); },
       "app_name"},

      {"empty path", [](Config& c) { c.apps = {app("a")}; c.apps[0].path = ""; }, "app_path"},
      {"blank path", [](Config& c) { c.apps = {app("a")}; c.apps[0].path = "   "; }, "app_path"},
      {"relative path", [](Config& c) { c.apps = {app("a")}; c.apps[0].path = "app.exe"; }, "app_path"},
      {"drive-relative path", [](Config& c) { c.apps = {app("a")}; c.apps[0].path = "C:app.exe"; }, "app_path"},
      {"rooted path", [](Config& c) { c.apps = {app("a")}; c.apps[0].path = "\\app.exe"; }, "app_path"},
      {"UNC path", [](Config& c) { c.apps = {app("a")}; c.apps[0].path = "\\\\srv\\share\\a.exe"; }, ""},
      {"device path", [](Config& c) { c.apps = {app("a")}; c.apps[0].path = "\\\\?\\C:\\a.exe"; }, ""},
      {"1024-byte path", [&](Config& c) { c.apps = {app("a")}; c.apps[0].path = long_path; }, ""},
      {"1025-byte path", [&](Config& c) { c.apps = {app("a")}; c.apps[0].path = long_path + "p"; }, "app_path"},

      {"args with tab", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = "-a\t\"{file}\""; }, ""},
      {"args with line feed", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = "a\nb"; }, "app_args"},
      {"args with carriage return", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = "a\r"; }, "app_args"},
      {"args with NUL", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = std::string("a\0b", 3); }, "app_args"},
      {"1024-byte args", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = std::string(1024, 'a'); }, ""},
      {"1025-byte args", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = std::string(1025, 'a'); }, "app_args"},

      {"200 file types", [&](Config& c) { c.apps = {app("a")}; c.apps[0].file_types = types(200); }, ""},
      {"201 file types", [&](Config& c) { c.apps = {app("a")}; c.apps[0].file_types = types(201); }, "file_types"},
      {"file type forms", [](Config& c) { c.apps = {app("a")}; c.apps[0].file_types = {"my_app", "tar-gz", "7z"}; },
       ""},
      {"upper-case file type", [](Config& c) { c.apps = {app("a")}; c.apps[0].file_types = {"PDF"}; }, "file_types"},
      {"empty file type", [](Config& c) { c.apps = {app("a")}; c.apps[0].file_types = {""}; }, "file_types"},
      {"file type with dot", [](Config& c) { c.apps = {app("a")}; c.apps[0].file_types = {".pdf"}; }, "file_types"},
      {"32-byte file type", [](Config& c) { c.apps = {app("a")}; c.apps[0].file_types = {std::string(32, 'f')}; },
       ""},
      {"33-byte file type",
       [](Config& c) { c.apps = {app("a")}; c.apps[0].file_types = {std::string(33, 'f')}; }, "file_types"},

      {"save folder empty", [](Config& c) { c.save_folder = ""; }, ""},
      {"save folder blank", [](Config& c) { c.save_folder = "   "; }, ""},
      {"save folder absolute", [](Config& c) { c.save_folder = "D:\\Files"; }, ""},
      {"save folder UNC", [](Config& c) { c.save_folder = "//nas/photos"; }, ""},
      {"save folder relative", [](Config& c) { c.save_folder = "Downloads"; }, "save_folder"},
      {"save folder drive-relative", [](Config& c) { c.save_folder = "D:Files"; }, "save_folder"},
      {"save folder 1024 bytes", [&](Config& c) { c.save_folder = long_path; }, ""},
      {"save folder 1025 bytes", [&](Config& c) { c.save_folder = long_path + "p"; }, "save_folder"},
      {"save folder 1025 spaces", [](Config& c) { c.save_folder = std::string(1025, ' '); }, "save_folder"},

      {"pattern {name}", [](Config& c) { c.name_pattern = "{name}"; }, ""},
      {"pattern {time} only", [](Config& c) { c.name_pattern = "scan {time}"; }, ""},
      {"pattern without placeholder", [](Config& c) { c.name_pattern = "file"; }, "name_pattern"},
      {"empty pattern", [](Config& c) { c.name_pattern = ""; }, "name_pattern"},
      {"pattern {ext}", [](Config& c) { c.name_pattern = "{name}{ext}"; }, "name_pattern"},
      {"pattern with separator", [](Config& c) { c.name_pattern = "{date}/{name}"; }, "name_pattern"},
      {"pattern nested in a placeholder", [](Config& c) { c.name_pattern = "{da{name}te}"; }, ""},
      // Each placeholder is removed in one pass, so a "{name}" formed by the removal stays.
      {"pattern nested in its own placeholder", [](Config& c) { c.name_pattern = "{na{name}me}"; }, "name_pattern"},
      {"pattern of 100 characters", [](Config& c) { c.name_pattern = "{name}" + repeat("é", 94); }, ""},
      {"pattern of 101 characters", [](Config& c) { c.name_pattern = "{name}" + repeat("é", 95); }, "name_pattern"},
      {"pattern with non-breaking space", [](Config& c) { c.name_pattern = "{name}\xC2\xA0x"; }, ""},
      {"pattern with U+0085", [](Config& c) { c.name_pattern = "{name}\xC2\x85"; }, "name_pattern"},
      {"pattern with U+009F", [](Config& c) { c.name_pattern = "{name}\xC2\x9F"; }, "name_pattern"},
      {"pattern with U+007F", [](Config& c) { c.name_pattern = "{name}\x7F"; }, "name_pattern"},
      {"pattern with tab", [](Config& c) { c.name_pattern = "{name}\t"; }, "name_pattern"},
      {"language pt-BR", [](Config& c) { c.language = "pt-BR"; }, ""},
      {"language es", [](Config& c) { c.language = "es"; }, ""},
      {"language pt-br", [](Config& c) { c.language = "pt-br"; }, "language"},
      {"language empty", [](Config& c) { c.language = ""; }, "language"},
      {"theme light", [](Config& c) { c.theme = "light"; }, ""},
      {"theme Dark", [](Config& c) { c.theme = "Dark"; }, "theme"},

      {"default PDF", [](Config& c) { c.type_defaults = {{"PDF", "handler:x"}}; }, "type_defaults"},
      {"default empty handler", [](Config& c) { c.type_defaults = {{"pdf", "handler:"}}; }, "type_defaults"},
      {"default handler", [](Config& c) { c.type_defaults = {{"pdf", "handler:x"}}; }, ""},
      {"default handler 1024 bytes",
       [](Config& c) { c.type_defaults = {{"pdf", "handler:" + std::string(1024, 'h')}}; }, ""},
      {"default handler 1025 bytes",
       [](Config& c) { c.type_defaults = {{"pdf", "handler:" + std::string(1025, 'h')}}; }, "type_defaults"},
      {"default unknown app", [](Config& c) { c.type_defaults = {{"pdf", "zzz"}}; }, "type_defaults"},
      {"default known app", [](Config& c) { c.apps = {app("zzz")}; c.type_defaults = {{"pdf", "zzz"}}; }, ""},
      {"default app id differs in case",
       [](Config& c) { c.apps = {app("zzz")}; c.type_defaults = {{"pdf", "ZZZ"}}; }, "type_defaults"},
      {"default key with underscore",
       [](Config& c) { c.apps = {app("a")}; c.type_defaults = {{"my_app", "a"}}; }, ""},
      {"default key 33 bytes", [](Config& c) { c.type_defaults = {{std::string(33, 'k'), "handler:x"}}; },
       "type_defaults"},
      {"default empty key", [](Config& c) { c.type_defaults = {{"", "handler:x"}}; }, "type_defaults"},
      {"default for a type no app lists",
       [](Config& c) { c.apps = {app("a")}; c.apps[0].file_types = {"txt"}; c.type_defaults = {{"pdf", "a"}}; }, ""},

      // The first failing rule is the one reported.
      {"version before apps", [&](Config& c) { c.version = 3; c.apps = apps(201); }, "version"},
      {"one app's checks before the next",
       [](Config& c) { c.apps = {app("a"), app("bad id")}; c.apps[0].file_types = {"X"}; }, "file_types"},
      {"apps before save folder", [](Config& c) { c.apps = {app("")}; c.save_folder = "x"; }, "app_id"},
      {"save folder before pattern", [](Config& c) { c.save_folder = "x"; c.name_pattern = ""; }, "save_folder"},
      {"pattern before language", [](Config& c) { c.name_pattern = ""; c.language = ""; }, "name_pattern"},
      {"language before theme", [](Config& c) { c.language = ""; c.theme = ""; }, "language"},
      {"theme before defaults", [](Config& c) { c.theme = ""; c.type_defaults = {{"", ""}}; }, "theme"},
  };
  for (const Case& c : cases) {
    Config config = default_config();
    c.change(config);
    const auto result = validate_config(config);
    if (c.rule.empty()) {
      EXPECT_TRUE(result.has_value()) << c.what << ": " << result.error();
    } else {
      EXPECT_EQ(result.has_value() ? "(valid)" : result.error(), c.rule) << c.what;
    }
  }
}

}  // namespace
}  // namespace tessiva::config
