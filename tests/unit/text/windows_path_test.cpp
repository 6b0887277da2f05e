#include "text/windows_path.h"

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

}  // namespace
}  // namespace tessiva::text
