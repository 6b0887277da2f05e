#include "codec/png.h"

#include <algorithm>
#include <array>

#include "codec/checksums.h"

namespace tessiva::codec {
namespace {

constexpr std::array<std::byte, 8> SIGNATURE{
    std::byte{0x89}, std::byte{'P'},  std::byte{'N'},  std::byte{'G'},
    std::byte{0x0D}, std::byte{0x0A}, std::byte{0x1A}, std::byte{0x0A}};

constexpr std::uint64_t MAX_STORED_BLOCK = 65535;
// PNG chunk lengths are limited to 2^31 - 1.
constexpr std::uint64_t MAX_CHUNK_DATA = 0x7FFFFFFF;
constexpr std::size_t IHDR_SIZE = 13;
// Length, type and CRC around the data of every chunk.
constexpr std::size_t CHUNK_FRAME = 12;
// Header byte, LEN and NLEN of a stored block.
constexpr std::uint64_t STORED_BLOCK_HEADER = 5;
// Two header bytes before the blocks, the Adler-32 after them.
constexpr std::uint64_t ZLIB_FRAME = 2 + 4;

class ByteWriter {
 public:
  explicit ByteWriter(std::size_t capacity) { bytes_.reserve(capacity); }

  void put(std::span<const std::byte> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
  void put_u8(std::uint8_t v) { bytes_.push_back(std::byte{v}); }
  void put_u16_le(std::uint16_t v) {
    put_u8(static_cast<std::uint8_t>(v));
    put_u8(static_cast<std::uint8_t>(v >> 8));
  }
  void put_u32_be(std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) put_u8(static_cast<std::uint8_t>(v >> shift));
  }
  void put_type(const char (&type)[5]) {
    for (int i = 0; i < 4; ++i) put_u8(static_cast<std::uint8_t>(type[i]));
  }

  [[nodiscard]] std::size_t size() const noexcept { return bytes_.size(); }
  [[nodiscard]] std::span<const std::byte> since(std::size_t start) const noexcept {
    return std::span(bytes_).subspan(start);
  }
  [[nodiscard]] std::vector<std::byte> take() && { return std::move(bytes_); }

 private:
  std::vector<std::byte> bytes_;
};

/// Writes `raw_size` bytes of data, given in pieces of any size, as consecutive stored
/// deflate blocks of at most 65535 bytes, and keeps their Adler-32.
class StoredBlocks {
 public:
  StoredBlocks(ByteWriter& out, std::uint64_t raw_size) : out_(out), raw_left_(raw_size) {}

  void put(std::span<const std::byte> data) {
    while (!data.empty()) {
      if (block_left_ == 0) start_block();
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), block_left_));
      out_.put(data.first(n));
      adler_ = adler32(data.first(n), adler_);
      block_left_ -= n;
      raw_left_ -= n;
      data = data.subspan(n);
    }
  }

  [[nodiscard]] std::uint32_t adler() const noexcept { return adler_; }

 private:
  void start_block() {
    const auto len = static_cast<std::uint16_t>(std::min(raw_left_, MAX_STORED_BLOCK));
    out_.put_u8(len == raw_left_ ? 0x01 : 0x00);  // BFINAL, then BTYPE 00 (stored)
    out_.put_u16_le(len);
    out_.put_u16_le(static_cast<std::uint16_t>(~len));
    block_left_ = len;
  }

  ByteWriter& out_;
  std::uint64_t raw_left_;
  std::uint64_t block_left_ = 0;
  std::uint32_t adler_ = 1;
};

/// Finishes the chunk whose length field starts at `start` with the CRC of its type and
/// data.
void end_chunk(ByteWriter& out, std::size_t start) {
  out.put_u32_be(crc32(out.since(start + 4)));
}

}  // namespace

void bgra_to_rgba(std::span<std::byte> pixels) noexcept {
  const std::size_t count = pixels.size() / 4;
  bool any_alpha = false;
  for (std::size_t i = 0; i < count; ++i) {
    std::byte* p = pixels.data() + 4 * i;
    std::swap(p[0], p[2]);
    any_alpha = any_alpha || p[3] != std::byte{0};
  }
  if (any_alpha) return;
  for (std::size_t i = 0; i < count; ++i) pixels[4 * i + 3] = std::byte{0xFF};
}

std::optional<std::vector<std::byte>> encode_rgba_png(std::uint32_t width, std::uint32_t height,
                                                      std::span<const std::byte> rgba) {
  if (width == 0 || height == 0) return std::nullopt;
  const std::uint64_t row_size = std::uint64_t{width} * 4;
  if (rgba.size() / row_size != height || rgba.size() % row_size != 0) return std::nullopt;
  const std::uint64_t raw_size = height * (1 + row_size);
  const std::uint64_t blocks = (raw_size + MAX_STORED_BLOCK - 1) / MAX_STORED_BLOCK;
  const std::uint64_t zlib_size = ZLIB_FRAME + blocks * STORED_BLOCK_HEADER + raw_size;
  if (zlib_size > MAX_CHUNK_DATA) return std::nullopt;

  ByteWriter out(SIGNATURE.size() + 3 * CHUNK_FRAME + IHDR_SIZE + static_cast<std::size_t>(zlib_size));
  out.put(SIGNATURE);

  std::size_t start = out.size();
  out.put_u32_be(IHDR_SIZE);
  out.put_type("IHDR");
  out.put_u32_be(width);
  out.put_u32_be(height);
  out.put_u8(8);  // bit depth
  out.put_u8(6);  // colour type: truecolour with alpha
  out.put_u8(0);  // compression method
  out.put_u8(0);  // filter method
  out.put_u8(0);  // interlace method
  end_chunk(out, start);

  start = out.size();
  out.put_u32_be(static_cast<std::uint32_t>(zlib_size));
  out.put_type("IDAT");
  out.put_u8(0x78);  // deflate, 32 KiB window
  out.put_u8(0x01);  // no preset dictionary, fastest level; makes the header a multiple of 31
  StoredBlocks blocks_writer(out, raw_size);
  constexpr std::array<std::byte, 1> NO_FILTER{std::byte{0}};
  for (std::uint32_t row = 0; row < height; ++row) {
    blocks_writer.put(NO_FILTER);
    blocks_writer.put(rgba.subspan(row * row_size, row_size));
  }
  out.put_u32_be(blocks_writer.adler());
  end_chunk(out, start);

  start = out.size();
  out.put_u32_be(0);
  out.put_type("IEND");
  end_chunk(out, start);

  return std::move(out).take();
}

}  // namespace tessiva::codec
