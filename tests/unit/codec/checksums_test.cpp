#include "codec/checksums.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace tessiva::codec {
namespace {

std::span<const std::byte> bytes_of(std::string_view s) {
  return {reinterpret_cast<const std::byte*>(s.data()), s.size()};
}

TEST(Checksums, KnownValues) {
  const struct {
    std::string_view data;
    std::uint32_t crc;
    std::uint32_t adler;
  } cases[] = {
      {"", 0x00000000, 0x00000001},
      {"a", 0xE8B7BE43, 0x00620062},
      {"abc", 0x352441C2, 0x024D0127},
      {"123456789", 0xCBF43926, 0x091E01DE},
      {"Wikipedia", 0xADAAC02E, 0x11E60398},
      {"IEND", 0xAE426082, 0x02D70121},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.data);
    EXPECT_EQ(crc32(bytes_of(c.data)), c.crc);
    EXPECT_EQ(adler32(bytes_of(c.data)), c.adler);
  }
}

TEST(Checksums, PiecesGiveTheSameResultAsTheWhole) {
  const std::string_view data = "The quick brown fox jumps over the lazy dog";
  for (std::size_t cut = 0; cut <= data.size(); ++cut) {
    EXPECT_EQ(crc32(bytes_of(data.substr(cut)), crc32(bytes_of(data.substr(0, cut)))),
              crc32(bytes_of(data)));
    EXPECT_EQ(adler32(bytes_of(data.substr(cut)), adler32(bytes_of(data.substr(0, cut)))),
              adler32(bytes_of(data)));
  }
}

TEST(Checksums, AdlerStaysExactOverLongRunsOfLargeBytes) {
  // All bytes 0xFF drive both sums up as fast as possible; the result must match sums
  // reduced after every byte.
  const std::vector<std::byte> data(300000, std::byte{0xFF});
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (const std::byte x : data) {
    a = (a + static_cast<std::uint32_t>(x)) % 65521;
    b = (b + a) % 65521;
  }
  EXPECT_EQ(adler32(data), (b << 16) | a);
}

}  // namespace
}  // namespace tessiva::codec
