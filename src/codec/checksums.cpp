#include "codec/checksums.h"

#include <algorithm>
#include <array>

namespace tessiva::codec {
namespace {

constexpr std::array<std::uint32_t, 256> make_crc_table() noexcept {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> CRC_TABLE = make_crc_table();

constexpr std::uint32_t ADLER_MODULUS = 65521;
// The most bytes that can be summed before the second sum must be reduced to stay
// within 32 bits (starting from values below the modulus).
constexpr std::size_t ADLER_RUN = 5552;

}  // namespace

std::uint32_t crc32(std::span<const std::byte> data, std::uint32_t crc) noexcept {
  std::uint32_t c = ~crc;
  for (const std::byte b : data) {
    c = CRC_TABLE[(c ^ static_cast<std::uint32_t>(b)) & 0xFF] ^ (c >> 8);
  }
  return ~c;
}

std::uint32_t adler32(std::span<const std::byte> data, std::uint32_t adler) noexcept {
  std::uint32_t a = adler & 0xFFFF;
  std::uint32_t b = adler >> 16;
  while (!data.empty()) {
    const std::size_t run = std::min(data.size(), ADLER_RUN);
    for (const std::byte x : data.first(run)) {
      a += static_cast<std::uint32_t>(x);
      b += a;
    }
    a %= ADLER_MODULUS;
    b %= ADLER_MODULUS;
    data = data.subspan(run);
  }
  return (b << 16) | a;
}

}  // namespace tessiva::codec
