#include "codec/png.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codec/base64.h"
#include "codec/checksums.h"

namespace tessiva::codec {
namespace {

std::vector<std::byte> test_pixels(std::uint32_t width, std::uint32_t height) {
  std::vector<std::byte> pixels(std::size_t{width} * height * 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = std::byte(i * 7 + i / 1024);
  return pixels;
}

std::uint32_t be32(std::span<const std::byte> b, std::size_t at) {
  return std::to_integer<std::uint32_t>(b[at]) << 24 | std::to_integer<std::uint32_t>(b[at + 1]) << 16 |
         std::to_integer<std::uint32_t>(b[at + 2]) << 8 | std::to_integer<std::uint32_t>(b[at + 3]);
}

std::uint32_t le16(std::span<const std::byte> b, std::size_t at) {
  return std::to_integer<std::uint32_t>(b[at]) | std::to_integer<std::uint32_t>(b[at + 1]) << 8;
}

struct Chunk {
  std::string type;
  std::span<const std::byte> data;
};

struct StoredBlock {
  bool final;
  std::span<const std::byte> data;
};

/// Splits a PNG file into its chunks, checking the signature and each chunk's CRC.
std::vector<Chunk> read_chunks(std::span<const std::byte> png) {
  const std::vector<std::byte> signature{std::byte{0x89}, std::byte{'P'},  std::byte{'N'},  std::byte{'G'},
                                         std::byte{0x0D}, std::byte{0x0A}, std::byte{0x1A}, std::byte{0x0A}};
  EXPECT_TRUE(std::equal(signature.begin(), signature.end(), png.begin()));
  std::vector<Chunk> chunks;
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::uint32_t length = be32(png, at);
    if (at + 12 + length > png.size()) break;
    const auto type_and_data = png.subspan(at + 4, 4 + length);
    EXPECT_EQ(be32(png, at + 8 + length), crc32(type_and_data));
    chunks.push_back({std::string(reinterpret_cast<const char*>(type_and_data.data()), 4),
                      type_and_data.subspan(4)});
    at += 12 + length;
  }
  EXPECT_EQ(at, png.size());
  return chunks;
}

/// Splits a zlib stream of stored blocks, checking its header and framing.
std::vector<StoredBlock> read_stored_blocks(std::span<const std::byte> zlib) {
  EXPECT_EQ(zlib[0], std::byte{0x78});
  EXPECT_EQ(zlib[1], std::byte{0x01});
  std::vector<StoredBlock> blocks;
  std::size_t at = 2;
  while (at + 5 <= zlib.size()) {
    const auto header = std::to_integer<unsigned>(zlib[at]);
    EXPECT_TRUE(header == 0 || header == 1);
    const std::uint32_t len = le16(zlib, at + 1);
    EXPECT_EQ(le16(zlib, at + 3), ~len & 0xFFFF);
    blocks.push_back({header == 1, zlib.subspan(at + 5, len)});
    at += 5 + len;
    if (header == 1) break;
  }
  EXPECT_EQ(at + 4, zlib.size());
  return blocks;
}

/// The filtered image data the encoder must store: a 0 before every row.
std::vector<std::byte> raw_data(std::uint32_t width, std::span<const std::byte> pixels) {
  std::vector<std::byte> raw;
  const std::size_t row = std::size_t{width} * 4;
  for (std::size_t at = 0; at < pixels.size(); at += row) {
    raw.push_back(std::byte{0});
    raw.insert(raw.end(), pixels.begin() + at, pixels.begin() + at + row);
  }
  return raw;
}

TEST(PngEncode, FileStructureAndBlockSplitting) {
  const struct {
    std::uint32_t width;
    std::uint32_t height;
    std::size_t png_size;  // 0: not checked
    std::vector<std::size_t> block_sizes;
  } cases[] = {
      {1, 1, 0, {5}},
      {32, 32, 4196, {4128}},
      {64, 255, 0, {65535}},
      {64, 256, 0, {65535, 257}},
      {256, 256, 262488, {65535, 65535, 65535, 65535, 260}},
      {7, 3, 0, {87}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    const auto pixels = test_pixels(c.width, c.height);
    const auto png = encode_rgba_png(c.width, c.height, pixels);
    ASSERT_TRUE(png.has_value());
    if (c.png_size != 0) {
      EXPECT_EQ(png->size(), c.png_size);
    }

    const auto chunks = read_chunks(*png);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(chunks[1].type, "IDAT");
    EXPECT_EQ(chunks[2].type, "IEND");
    EXPECT_TRUE(chunks[2].data.empty());

    const auto& ihdr = chunks[0].data;
    ASSERT_EQ(ihdr.size(), 13u);
    EXPECT_EQ(be32(ihdr, 0), c.width);
    EXPECT_EQ(be32(ihdr, 4), c.height);
    const std::vector<std::byte> rest(ihdr.begin() + 8, ihdr.end());
    EXPECT_EQ(rest, (std::vector<std::byte>{std::byte{8}, std::byte{6}, std::byte{0}, std::byte{0},
                                           std::byte{0}}));

    const auto blocks = read_stored_blocks(chunks[1].data);
    std::vector<std::size_t> sizes;
    std::vector<std::byte> stored;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      EXPECT_EQ(blocks[i].final, i + 1 == blocks.size());
      sizes.push_back(blocks[i].data.size());
      stored.insert(stored.end(), blocks[i].data.begin(), blocks[i].data.end());
    }
    EXPECT_EQ(sizes, c.block_sizes);
    const auto raw = raw_data(c.width, pixels);
    EXPECT_EQ(stored, raw);
    EXPECT_EQ(be32(chunks[1].data, chunks[1].data.size() - 4), adler32(raw));
  }
}

TEST(PngEncode, IconSizesAndTheirBase64) {
  const auto png = encode_rgba_png(32, 32, test_pixels(32, 32));
  ASSERT_TRUE(png.has_value());
  const std::string text = base64_encode(*png);
  EXPECT_EQ(text.size(), 5596u);
  std::vector<std::byte> back(base64_decoded_size_max(text.size()));
  const auto n = base64_decode(text, back);
  ASSERT_TRUE(n.has_value());
  back.resize(*n);
  EXPECT_EQ(back, *png);
}

TEST(PngEncode, RefusesInconsistentArguments) {
  const auto pixels = test_pixels(4, 4);
  EXPECT_FALSE(encode_rgba_png(0, 4, {}).has_value());
  EXPECT_FALSE(encode_rgba_png(4, 0, {}).has_value());
  EXPECT_FALSE(encode_rgba_png(4, 3, pixels).has_value());
  EXPECT_FALSE(encode_rgba_png(4, 4, std::span(pixels).first(63)).has_value());
  EXPECT_FALSE(encode_rgba_png(3, 5, pixels).has_value());  // 60 bytes would be needed
  EXPECT_FALSE(encode_rgba_png(0x40000000, 1, pixels).has_value());
}

std::vector<std::byte> px(std::initializer_list<int> values) {
  std::vector<std::byte> out;
  for (const int v : values) out.push_back(std::byte(v));
  return out;
}

TEST(BgraToRgba, SwapsChannelsAndAppliesTheAlphaRule) {
  const struct {
    const char* what;
    std::vector<std::byte> bgra;
    std::vector<std::byte> rgba;
  } cases[] = {
      {"all alpha 0 becomes opaque", px({1, 2, 3, 0, 4, 5, 6, 0}), px({3, 2, 1, 255, 6, 5, 4, 255})},
      {"any alpha keeps every alpha", px({1, 2, 3, 0, 4, 5, 6, 9}), px({3, 2, 1, 0, 6, 5, 4, 9})},
      {"alpha only in the first pixel", px({1, 2, 3, 255, 4, 5, 6, 0}), px({3, 2, 1, 255, 6, 5, 4, 0})},
      {"single opaque pixel", px({10, 20, 30, 255}), px({30, 20, 10, 255})},
      {"partial pixel left alone", px({1, 2, 3, 4, 7, 8}), px({3, 2, 1, 4, 7, 8})},
      {"empty", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto pixels = c.bgra;
    bgra_to_rgba(pixels);
    EXPECT_EQ(pixels, c.rgba);
  }
}

}  // namespace
}  // namespace tessiva::codec
