#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "platform/files.h"
#include "platform/memory.h"

namespace tessiva::platform {
namespace {

constexpr std::size_t MiB = std::size_t{1} << 20;

TEST(LargeBuffer, EveryByteIsUsableAndMovesHandOverTheBlock) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{100}, 3 * MiB, 16 * MiB + 64}) {
    LargeBuffer block(size);
    ASSERT_NE(block.data(), nullptr);
    ASSERT_EQ(block.size(), size);
    std::memset(block.data(), 0x5A, size);
    if (size > 0) {
      EXPECT_EQ(block.data()[size - 1], 0x5A);
    }

    char* const data = block.data();
    LargeBuffer moved(std::move(block));
    EXPECT_EQ(moved.data(), data);
    EXPECT_EQ(moved.size(), size);
    EXPECT_EQ(block.data(), nullptr);  // NOLINT: moved-from state is part of the contract
    EXPECT_EQ(block.size(), 0u);
    // Assigning over a block frees it (the sanitizer build catches a leak).
    moved = LargeBuffer(64);
    EXPECT_EQ(moved.size(), 64u);
  }
}

/// The smaps entry (header line and fields) of the mapping that holds `address`.
std::string mapping_of(const void* address) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  std::string line, entry;
  bool inside = false;
  while (std::getline(smaps, line)) {
    std::uintptr_t from = 0, to = 0;
    char dash = 0;
    std::istringstream head(line);
    if (head >> std::hex >> from >> dash >> to && dash == '-' && line.find(':') > line.find(' ')) {
      if (inside) break;
      inside = from <= at && at < to;
    }
    if (inside) entry += line + '\n';
  }
  return entry;
}

/// A field of a smaps entry in KiB ("Rss", "AnonHugePages").
std::size_t field_kib(const std::string& entry, const std::string& name) {
  const auto at = entry.find('\n' + name + ':');
  return at == std::string::npos ? 0 : std::stoul(entry.substr(at + name.size() + 2));
}

// The frame buffer of a 16 MiB chunk frame: its whole 2 MiB blocks are offered as huge
// pages, and the few bytes past them are not, so that they do not hold a whole huge page.
TEST(LargeBuffer, OnLinuxAFrameOffersHugePagesButNotForItsTail) {
  if (PATH_SEPARATOR != '/') GTEST_SKIP() << "huge pages are offered on Linux only";
  LargeBuffer block(16 * MiB + 64);
  std::memset(block.data(), 1, block.size());

  const std::string body = mapping_of(block.data());
  const std::string tail = mapping_of(block.data() + block.size() - 1);
  ASSERT_FALSE(body.empty());
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.data()) % (2 * MiB), 0u);
  const auto flags = [](const std::string& entry) { return entry.substr(entry.find("VmFlags:")); };
  EXPECT_NE(flags(body).find(" hg"), std::string::npos) << body;
  EXPECT_EQ(flags(tail).find(" hg"), std::string::npos) << tail;
  // Resident: the 16 MiB of the body, whether the kernel gave huge pages or not.
  EXPECT_LE(field_kib(body, "Rss"), 16u * 1024) << body;
}

}  // namespace
}  // namespace tessiva::platform
