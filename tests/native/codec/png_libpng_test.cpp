// Reads the encoder's output back with libpng, which checks every chunk CRC and the
// zlib stream (framing and Adler-32) on its own. Links with -lpng.

#include <png.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "codec/png.h"

namespace tessiva::codec {
namespace {

struct Decoded {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::byte> rgba;
};

/// Decodes a PNG file to R, G, B, A bytes; fails the test on any libpng error or
/// warning.
Decoded decode_with_libpng(const std::vector<std::byte>& png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Decoded out;
  if (png_image_begin_read_from_memory(&image, png.data(), png.size()) == 0) {
    ADD_FAILURE() << "libpng: " << image.message;
    return out;
  }
  EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, PNG_FORMAT_FLAG_ALPHA);
  image.format = PNG_FORMAT_RGBA;
  out.width = image.width;
  out.height = image.height;
  out.rgba.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr) == 0) {
    ADD_FAILURE() << "libpng: " << image.message;
  }
  EXPECT_EQ(image.warning_or_error, 0u) << image.message;
  png_image_free(&image);
  return out;
}

TEST(PngLibpng, DecodesToTheSamePixels) {
  const struct {
    std::uint32_t width;
    std::uint32_t height;
  } sizes[] = {{1, 1}, {7, 3}, {32, 32}, {64, 255}, {64, 256}, {256, 1}, {1, 256}, {200, 131}, {256, 256}};
  std::mt19937 random(5);
  for (const auto& s : sizes) {
    SCOPED_TRACE(testing::Message() << s.width << "x" << s.height);
    std::vector<std::byte> pixels(std::size_t{s.width} * s.height * 4);
    for (std::byte& b : pixels) b = std::byte(random());
    const auto png = encode_rgba_png(s.width, s.height, pixels);
    ASSERT_TRUE(png.has_value());
    const Decoded decoded = decode_with_libpng(*png);
    EXPECT_EQ(decoded.width, s.width);
    EXPECT_EQ(decoded.height, s.height);
    ASSERT_EQ(decoded.rgba.size(), pixels.size());
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      ASSERT_EQ(decoded.rgba[i], pixels[i]) << "byte " << i << " (pixel " << i / 4 << ")";
    }
  }
}

TEST(PngLibpng, KeepsConvertedIconAlpha) {
  // An icon bitmap without alpha, converted and encoded, reads back fully opaque.
  std::vector<std::byte> pixels(32 * 32 * 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = i % 4 == 3 ? std::byte{0} : std::byte(i);
  bgra_to_rgba(pixels);
  const auto png = encode_rgba_png(32, 32, pixels);
  ASSERT_TRUE(png.has_value());
  const Decoded decoded = decode_with_libpng(*png);
  ASSERT_EQ(decoded.rgba.size(), pixels.size());
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    EXPECT_EQ(decoded.rgba[i], std::byte(i + 2));
    EXPECT_EQ(decoded.rgba[i + 2], std::byte(i));
    EXPECT_EQ(decoded.rgba[i + 3], std::byte{0xFF});
  }
}

}  // namespace
}  // namespace tessiva::codec
