#include "platform/windows/icons.h"

#include <gtest/gtest.h>

#include "shell_files.h"

namespace tessiva::platform {
namespace {

TEST(ExtractIconPng, ProgramsGive32By32Rgba) {
  for (const std::string& program : {test::tessiva_exe(), test::system_program()}) {
    ASSERT_TRUE(file_attributes(program)) << program << " is missing";
    const auto png = extract_icon_png(program, 0);
    ASSERT_TRUE(png) << program;
    EXPECT_EQ(png->size(), 4196u) << "a 32 x 32 icon in one stored block";
    const auto pixels = test::stored_png_pixels(*png, 32, 32);
    ASSERT_EQ(pixels.size(), 32u * 32 * 4) << program;
    const bool drawn = std::any_of(pixels.begin(), pixels.end(), [](std::byte b) { return b != std::byte{0}; });
    EXPECT_TRUE(drawn) << program << ": the icon has pixels";
  }
}

TEST(ExtractIconPng, NoneWithoutAnIcon) {
  const std::string exe = test::tessiva_exe();
  EXPECT_FALSE(extract_icon_png(exe, 1000)) << "an index past the last icon";
  EXPECT_FALSE(extract_icon_png(exe + ".missing", 0));
  EXPECT_FALSE(extract_icon_png("C:\\nowhere\\missing.exe", 0));
  EXPECT_FALSE(extract_icon_png("", 0));
  EXPECT_FALSE(extract_icon_png(exe + std::string("\0x", 2), 0)) << "a NUL would cut the path short";
  EXPECT_FALSE(extract_icon_png("C:\\bad\xFFname.exe", 0));
}

}  // namespace
}  // namespace tessiva::platform
