// Descriptions from version resources: our own executable, and copies of it whose
// version resource is replaced by one built here (UpdateResourceW), so that the
// translation table, the fallback and the trimming can be tried.

#include "platform/windows/version_info.h"

#include <gtest/gtest.h>

#include <cstring>

#include "desktop/app_info.h"
#include "shell_files.h"
#include "temp_folder.h"

namespace tessiva::platform {
namespace {

using Bytes = std::vector<std::byte>;

void append(Bytes& out, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::byte*>(data);
  out.insert(out.end(), bytes, bytes + size);
}

void pad(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(std::byte{0});
}

void put_word(Bytes& out, std::size_t at, std::size_t value) {
  const auto word = static_cast<WORD>(value);
  std::memcpy(out.data() + at, &word, sizeof word);
}

/// One block of a version resource: length, value length, type, key, value, children.
Bytes block(std::u16string_view key, WORD type, const Bytes& value, std::size_t value_length,
            const std::vector<Bytes>& children = {}) {
  Bytes out(6);
  append(out, key.data(), key.size() * 2);
  out.push_back(std::byte{0});
  out.push_back(std::byte{0});
  pad(out);
  append(out, value.data(), value.size());
  for (const auto& child : children) {
    pad(out);
    append(out, child.data(), child.size());
  }
  put_word(out, 0, out.size());
  put_word(out, 2, value_length);
  put_word(out, 4, type);
  return out;
}

Bytes text_value(std::u16string_view text) {
  Bytes out;
  append(out, text.data(), text.size() * 2);
  out.push_back(std::byte{0});
  out.push_back(std::byte{0});
  return out;
}

/// A string table "040904b0" with one FileDescription.
Bytes string_table(std::u16string_view name, std::u16string_view description) {
  return block(name, 1, {},
               0, {block(u"FileDescription", 1, text_value(description), description.size() + 1)});
}

/// A whole VS_VERSIONINFO with the given string tables and, unless none, a translation.
Bytes version_resource(const std::vector<Bytes>& tables, std::optional<std::pair<WORD, WORD>> translation) {
  VS_FIXEDFILEINFO fixed{};
  fixed.dwSignature = VS_FFI_SIGNATURE;
  fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
  Bytes fixed_bytes;
  append(fixed_bytes, &fixed, sizeof fixed);
  std::vector<Bytes> children{block(u"StringFileInfo", 1, {}, 0, tables)};
  if (translation) {
    const DWORD pair = MAKELONG(translation->first, translation->second);
    Bytes value;
    append(value, &pair, sizeof pair);
    children.push_back(block(u"VarFileInfo", 1, {}, 0, {block(u"Translation", 0, value, sizeof pair)}));
  }
  return block(u"VS_VERSION_INFO", 0, fixed_bytes, sizeof fixed, children);
}

/// A copy of tessiva.exe at `path` whose only resource is `resource` as its version
/// resource.
void write_program_with(const std::string& path, const Bytes& resource) {
  const std::wstring from = widen(test::tessiva_exe());
  const std::wstring to = widen(path);
  ASSERT_TRUE(::CopyFileW(from.c_str(), to.c_str(), FALSE)) << path;
  HANDLE update = ::BeginUpdateResourceW(to.c_str(), TRUE);
  ASSERT_NE(update, nullptr);
  ASSERT_TRUE(::UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                const_cast<std::byte*>(resource.data()), static_cast<DWORD>(resource.size())));
  ASSERT_TRUE(::EndUpdateResourceW(update, FALSE));
}

TEST(FileDescription, OurOwnProgram) { EXPECT_EQ(file_description(test::tessiva_exe()), "Tessiva"); }

TEST(FileDescription, NoneWithoutAVersionResource) {
  test::TempFolder temp;
  const std::string text = join_path(temp.path(), "notes.txt");
  ASSERT_TRUE(create_truncate(text).value().write("not a program"));
  EXPECT_EQ(file_description(text), std::nullopt);
  EXPECT_EQ(file_description(join_path(temp.path(), "missing.exe")), std::nullopt);
  EXPECT_EQ(file_description(temp.path()), std::nullopt);
}

TEST(FileDescription, TranslationFirstThenTheUsEnglishTable) {
  const std::pair<WORD, WORD> german{0x0407, 0x04E4};
  const struct {
    const char* name;
    Bytes resource;
    std::optional<std::string> want;
  } cases[] = {
      {"german first", version_resource({string_table(u"040904b0", u"Text Editor"),
                                         string_table(u"040704e4", u"Texteditor f\u00FCr alle")},
                                        german),
       "Texteditor f\xC3\xBCr alle"},
      {"blank translation falls back",
       version_resource({string_table(u"040704e4", u"   "), string_table(u"040904b0", u"Fallback")}, german),
       "Fallback"},
      {"translation without its table",
       version_resource({string_table(u"040904b0", u"Only English")}, std::pair<WORD, WORD>{0x0409, 0x04E4}),
       "Only English"},
      {"no translation table", version_resource({string_table(u"040904b0", u"No Table")}, std::nullopt), "No Table"},
      {"trimmed", version_resource({string_table(u"040904b0", u" \t Tessiva Beta \r\n")}, std::pair<WORD, WORD>{0x0409, 0x04B0}),
       "Tessiva Beta"},
      {"blank everywhere", version_resource({string_table(u"040904b0", u"  \u3000 ")}, std::pair<WORD, WORD>{0x0409, 0x04B0}),
       std::nullopt},
      {"other language only", version_resource({string_table(u"040c04b0", u"Editeur")}, std::nullopt), std::nullopt},
  };
  test::TempFolder temp;
  int n = 0;
  for (const auto& c : cases) {
    const std::string path = join_path(temp.path(), "program" + std::to_string(++n) + ".exe");
    write_program_with(path, c.resource);
    EXPECT_EQ(file_description(path), c.want) << c.name;
    // "app_info" names a program without a usable description by its stem.
    const auto info = desktop::handle_app_info(nlohmann::json{{"path", path}});
    ASSERT_TRUE(info) << c.name;
    EXPECT_EQ((*info)["name"], c.want.value_or("program" + std::to_string(n))) << c.name;
  }
}

}  // namespace
}  // namespace tessiva::platform
