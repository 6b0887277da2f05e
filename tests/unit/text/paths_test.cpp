#include "text/paths.h"

#include <gtest/gtest.h>

#include <string_view>

namespace tessiva::text {
namespace {

TEST(WindowsPathTest, AbsoluteForms) {
  struct Case {
    std::string_view path;
    bool absolute;
  };
  const Case cases[] = {
      {"C:\\", true},
      {"C:\\Program Files\\app.exe", true},
      {"c:/tools/app.exe", true},
      {"z:\\", true},
      {"\\\\server\\share", true},
      {"\\\\server\\share\\folder\\app.exe", true},
      {"//server/share", true},
      {"\\/server/share", true},
      {"\\\\?\\C:\\very\\long", true},
      {"\\\\?\\", true},
      {"\\\\.\\pipe\\name", true},
      {"//?/C:/x", true},
      {"//./device", true},

      {"", false},
      {"C", false},
      {"C:", false},
      {"C:folder", false},
      {"C:folder\\app.exe", false},
      {"1:\\folder", false},
      {"\xC3\x84:\\folder", false},  // only ASCII letters name drives
      {"CD:\\folder", false},
      {"\\folder", false},
      {"/folder", false},
      {"folder", false},
      {"folder\\app.exe", false},
      {".\\app.exe", false},
      {"\\\\", false},
      {"\\\\server", false},
      {"\\\\server\\", false},
      {"\\\\server\\\\share", false},
      {"\\\\\\share", false},
      {"\\\\?", false},
      {"\\\\.", false},
      {"\\\\?x", false},
      {" C:\\folder", false},
  };
  for (const Case& c : cases) EXPECT_EQ(is_absolute_windows_path(c.path), c.absolute) << c.path;
}

TEST(PathContainment, ComponentWiseWithEachPathStyle) {
  const struct {
    std::string_view path;
    std::string_view folder;
    bool windows;
    bool posix;
  } cases[] = {
      {"C:\\Users\\u\\Saved", "C:\\Users\\u\\Saved", true, true},
      {"C:\\Users\\u\\Saved\\", "C:\\Users\\u\\Saved", true, false},
      {"C:\\Users\\u\\Saved", "C:\\Users\\u\\Saved\\", true, false},
      {"C:\\Users\\u\\Saved\\a.pdf", "C:\\Users\\u\\Saved", true, false},
      {"C:\\Users\\u\\Saved\\sub\\a.pdf", "C:\\Users\\u\\Saved", true, false},
      {"C:/Users/u/Saved/sub/a.pdf", "C:\\Users\\u\\Saved", true, false},
      {"c:\\users\\U\\SAVED\\a.pdf", "C:\\Users\\u\\Saved", true, false},
      {"C:\\Users\\u\\Saved2", "C:\\Users\\u\\Saved", false, false},
      {"C:\\Users\\u\\Saved2\\a.pdf", "C:\\Users\\u\\Saved", false, false},
      {"C:\\Users\\u\\Save", "C:\\Users\\u\\Saved", false, false},
      {"C:\\Users\\u", "C:\\Users\\u\\Saved", false, false},
      {"C:\\Windows\\notepad.exe", "C:\\Users\\u\\Saved", false, false},
      {"C:\\Users\\u\\Saved\\..\\secret.txt", "C:\\Users\\u\\Saved", false, false},
      {"C:\\Users\\u\\Saved\\sub\\..\\a.pdf", "C:\\Users\\u\\Saved", false, false},
      {"C:\\Users\\u\\Saved\\.\\a.pdf", "C:\\Users\\u\\Saved", false, false},
      {"C:\\Users\\u\\Saved\\..a.pdf", "C:\\Users\\u\\Saved", true, false},
      {"C:\\a.pdf", "C:\\", true, false},
      {"D:\\a.pdf", "C:\\", false, false},
      {"\\\\server\\share\\x", "\\\\server\\share", true, false},
      {"\\\\server\\share2\\x", "\\\\server\\share", false, false},
      {"/home/u/Saved/a.pdf", "/home/u/Saved", true, true},
      {"/home/u/Saved/sub/a.pdf", "/home/u/Saved/", true, true},
      {"/home/u/saved/a.pdf", "/home/u/Saved", true, false},
      {"/home/u/Saved2/a.pdf", "/home/u/Saved", false, false},
      {"/home/u/Saved/../x", "/home/u/Saved", false, false},
      {"/home/u/Saved\\..\\x", "/home/u/Saved", false, false},
      {"/etc/passwd", "/", true, true},
      {"", "/home/u/Saved", false, false},
      {"/home/u/Saved", "", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(path_is_inside(c.path, c.folder, PathStyle::Windows), c.windows) << c.path << " in " << c.folder;
    EXPECT_EQ(path_is_inside(c.path, c.folder, PathStyle::Posix), c.posix) << c.path << " in " << c.folder;
  }
}

TEST(FileStem, LastComponentWithoutItsLastExtension) {
  const struct {
    std::string_view path;
    std::string_view stem;
  } cases[] = {
      {"C:\\Tools\\setup.exe", "setup"},
      {"C:/Tools/setup.exe", "setup"},
      {"C:\\Tools\\archive.tar.gz", "archive.tar"},
      {"C:\\Users\\u\\.profile", ".profile"},
      {"C:\\Tools\\README", "README"},
      {"C:\\Tools\\name.", "name"},
      {"C:\\Tools\\..x", "."},
      {"C:\\Tools.d\\app", "app"},
      {"C:\\Tools\\", ""},
      {"C:\\", ""},
      {"app.exe", "app"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(file_stem(c.path, PathStyle::Windows), c.stem) << c.path;
  // A backslash is an ordinary character in a POSIX name.
  EXPECT_EQ(file_stem("/opt/a\\b.sh", PathStyle::Posix), "a\\b");
  EXPECT_EQ(file_stem("/home/u/.profile", PathStyle::Posix), ".profile");
}

TEST(ParentFolder, KeepsARootWholeInEachPathStyle) {
  const struct {
    std::string_view path;
    std::string_view windows;
    std::string_view posix;
  } cases[] = {
      {"/home/u/file", "/home/u", "/home/u"},
      {"/file", "/", "/"},
      {"/", "", ""},
      {"/a/", "/a", "/a"},
      {"file", "", ""},
      {"", "", ""},
      {"C:\\Tools\\app.exe", "C:\\Tools", ""},
      {"C:\\app.exe", "C:\\", ""},
      {"C:/app.exe", "C:/", "C:"},
      {"C:\\", "", ""},
      {"\\\\server\\share\\x", "\\\\server\\share", ""},
      {"x:/y", "x:/", "x:"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parent_folder(c.path, PathStyle::Windows), c.windows) << c.path;
    EXPECT_EQ(parent_folder(c.path, PathStyle::Posix), c.posix) << c.path;
  }
  EXPECT_EQ(parent_folder(std::wstring_view(L"C:\\x.exe"), PathStyle::Windows), L"C:\\");
  EXPECT_EQ(file_name("C:\\Tools\\app.exe", PathStyle::Windows), "app.exe");
  EXPECT_EQ(file_name("/opt/a\\b.sh", PathStyle::Posix), "a\\b.sh");
  EXPECT_EQ(file_name("config.json", PathStyle::Posix), "config.json");
  EXPECT_EQ(file_name("/opt/", PathStyle::Posix), "");
}

TEST(SingleComponent, RefusesWhatCouldLeaveTheFolder) {
  using namespace std::string_view_literals;
  const struct {
    std::string_view name;
    bool windows;
    bool posix;
  } cases[] = {
      {"report.pdf", true, true},     {"..a", true, true},         {"", false, false},
      {".", false, false},            {"..", false, false},        {"a/b", false, false},
      {"a\\b", false, true},          {"a:b", false, true},        {"a\0b"sv, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_single_component(c.name, PathStyle::Windows), c.windows) << c.name;
    EXPECT_EQ(is_single_component(c.name, PathStyle::Posix), c.posix) << c.name;
  }
}

}  // namespace
}  // namespace tessiva::text
