#include "config/validation.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace tessiva::config {
namespace {

std::string repeat(std::string_view s, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += s;
  return out;
}

const bool WINDOWS = platform::native_path_style() == text::PathStyle::Windows;

/// The rule that fails on Windows only, or on Linux only.
std::string_view windows_fails(std::string_view rule) { return WINDOWS ? rule : ""; }
std::string_view linux_fails(std::string_view rule) { return WINDOWS ? "" : rule; }

App app(std::string id) { return App{std::move(id), "App", WINDOWS ? "C:\\app.exe" : "/usr/bin/app", "", {}}; }

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
  const std::string long_path = WINDOWS ? "C:\\" + std::string(1021, 'p') : "/" + std::string(1023, 'p');
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
      {"UNC path", [](Config& c) { c.apps = {app("a")}; c.apps[0].path = "\\\\srv\\share\\a.exe"; },
       linux_fails("app_path")},
      {"device path", [](Config& c) { c.apps = {app("a")}; c.apps[0].path = "\\\\?\\C:\\a.exe"; },
       linux_fails("app_path")},
      {"drive path", [](Config& c) { c.apps = {app("a")}; c.apps[0].path = "C:\\a.exe"; }, linux_fails("app_path")},
      {"POSIX path", [](Config& c) { c.apps = {app("a")}; c.apps[0].path = "/opt/a b/a"; }, windows_fails("app_path")},
      {"desktop entry", [](Config& c) { c.apps = {app("a")}; c.apps[0].path = "/usr/share/applications/a.desktop"; },
       windows_fails("app_path")},
      {"1024-byte path", [&](Config& c) { c.apps = {app("a")}; c.apps[0].path = long_path; }, ""},
      {"1025-byte path", [&](Config& c) { c.apps = {app("a")}; c.apps[0].path = long_path + "p"; }, "app_path"},

      {"args with tab", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = "-a\t\"{file}\""; }, ""},
      {"args with line feed", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = "a\nb"; }, "app_args"},
      {"args with carriage return", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = "a\r"; }, "app_args"},
      {"args with NUL", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = std::string("a\0b", 3); }, "app_args"},
      // Linux splits the arguments by the shell's quoting, which must come out whole.
      {"args with unclosed quote", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = "-t 'it {file}"; },
       linux_fails("app_args")},
      {"args with trailing backslash", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = "{file} \\"; },
       linux_fails("app_args")},
      {"args with quotes", [](Config& c) { c.apps = {app("a")}; c.apps[0].args = "-t \"it's\" '{file}'"; }, ""},
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
      {"save folder absolute", [](Config& c) { c.save_folder = "D:\\Files"; }, linux_fails("save_folder")},
      {"save folder POSIX", [](Config& c) { c.save_folder = "/home/u/Files"; }, windows_fails("save_folder")},
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
