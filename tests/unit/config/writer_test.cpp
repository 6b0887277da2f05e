#include "config/writer.h"

#include <gtest/gtest.h>

#include <string>

#include "native_paths.h"
#include "config/reader.h"
#include "config/validation.h"

namespace tessiva::config {
namespace {

using nlohmann::json;

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
  Config c = rich_config();
  // Paths that are absolute on the running system, so that the settings are valid.
  c.save_folder = test::native_absolute(*c.save_folder, "/srv/Files \"saved\"");
  c.apps[0].path = test::native_absolute(c.apps[0].path, "/opt/Viewer \xF0\x9F\x98\x80/viewer");
  c.apps[1].path = test::native_absolute(c.apps[1].path, "//server/share/a");
  ASSERT_TRUE(validate_config(c).has_value()) << validate_config(c).error();
  const std::string text = write_config_json(c);
  const auto from_text = parse_config_text(text);
  ASSERT_TRUE(from_text.has_value()) << from_text.error();
  EXPECT_EQ(*from_text, c);
  // The writer's pretty form is the one nlohmann writes too.
  EXPECT_EQ(json::parse(text), config_to_json(c));

  const json value = config_to_json(c);
  EXPECT_EQ(value["version"].type(), json::value_t::number_unsigned);
  const auto from_value = parse_config_value(value);
  ASSERT_TRUE(from_value.has_value()) << from_value.error();
  EXPECT_EQ(*from_value, c);
}

TEST(ConfigWriteTest, ReplyForm) {
  EXPECT_EQ(config_to_json(default_config()).dump(),
            R"({"apps":[],"language":"auto","name_pattern":"{name}_{date}_{time}","reveal_after_save":false,)"
            R"("save_folder":null,"show_detected_apps":true,"theme":"system","type_defaults":{},"version":1})");
}

TEST(ConfigWriteTest, EmojiAndOtherCharactersStayAsTheyAre) {
  // Only what JSON requires is escaped, control characters in lower-case hex; "/",
  // DEL, U+2028 and characters outside the BMP are written as their UTF-8 bytes.
  Config c;
  c.save_folder = "C:\\\xF0\x9F\x98\x80/\x1F\x7F\xE2\x80\xA8\"";
  const std::string start =
      "{\n"
      "  \"version\": 1,\n"
      "  \"save_folder\": \"C:\\\\\xF0\x9F\x98\x80/\\u001f\x7F\xE2\x80\xA8\\\"\",\n"
      "  \"name_pattern\": ";
  EXPECT_EQ(write_config_json(c).substr(0, start.size()), start);
}

}  // namespace
}  // namespace tessiva::config
