#pragma once
// Files that the shell tests work on: our own executable, programs of the Wine prefix,
// and a check of the PNG files that the icon encoder writes.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/windows/win_error.h"
#include "platform/windows/windows.h"

namespace tessiva::test {

/// tessiva.exe of this build: $TESSIVA_EXE when set, else the one beside the running
/// test program (both are built into the same folder).
inline std::string tessiva_exe() {
  if (const wchar_t* set = ::_wgetenv(L"TESSIVA_EXE"); set && *set) return platform::narrow(set);
  std::wstring module(32768, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
  module.resize(length);
  const auto folder = module.substr(0, module.find_last_of(L"\\/"));
  return platform::narrow(folder) + "\\tessiva.exe";
}

/// A program of the Wine prefix that carries icons.
inline std::string system_program() {
  std::wstring windows(MAX_PATH, L'\0');
  windows.resize(::GetWindowsDirectoryW(windows.data(), MAX_PATH));
  for (const wchar_t* name : {L"\\system32\\notepad.exe", L"\\notepad.exe", L"\\system32\\winhlp32.exe"}) {
    const std::string path = platform::narrow(windows + name);
    if (platform::file_attributes(path)) return path;
  }
  return platform::narrow(windows) + "\\system32\\notepad.exe";
}

inline std::uint32_t big_endian(const std::vector<std::byte>& b, std::size_t at) {
  return std::to_integer<std::uint32_t>(b[at]) << 24 | std::to_integer<std::uint32_t>(b[at + 1]) << 16 |
         std::to_integer<std::uint32_t>(b[at + 2]) << 8 | std::to_integer<std::uint32_t>(b[at + 3]);
}

/// Checks that `png` is a PNG of `width` x `height` 8-bit RGBA pixels whose image data
/// lies in stored (uncompressed) deflate blocks, and gives those pixels (without the
/// filter bytes). Stored blocks are what the encoder writes, so no inflater is needed.
inline std::vector<std::byte> stored_png_pixels(const std::vector<std::byte>& png, std::uint32_t width,
                                                std::uint32_t height) {
  std::vector<std::byte> pixels;
  const std::string signature = "\x89PNG\r\n\x1A\n";
  EXPECT_GE(png.size(), 8u + 25 + 12 + 12);
  if (png.size() < 8 + 25 + 12 + 12) return pixels;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(png.data()), 8), signature);
  EXPECT_EQ(big_endian(png, 8), 13u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(png.data()) + 12, 4), "IHDR");
  EXPECT_EQ(big_endian(png, 16), width);
  EXPECT_EQ(big_endian(png, 20), height);
  EXPECT_EQ(std::to_integer<int>(png[24]), 8);  // bit depth
  EXPECT_EQ(std::to_integer<int>(png[25]), 6);  // truecolour with alpha
  const std::size_t idat = 33;
  const std::uint32_t idat_size = big_endian(png, idat);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(png.data()) + idat + 4, 4), "IDAT");
  EXPECT_EQ(png.size(), idat + 12 + idat_size + 12) << "IHDR, one IDAT, IEND";
  if (png.size() != idat + 12 + idat_size + 12) return pixels;

  std::vector<std::byte> raw;
  std::size_t at = idat + 8 + 2;  // after the zlib header
  EXPECT_EQ(std::to_integer<int>(png[idat + 8]), 0x78);
  bool last = false;
  while (!last && at + 5 <= idat + 8 + idat_size) {
    last = std::to_integer<int>(png[at]) == 1;
    const std::size_t length = std::to_integer<std::size_t>(png[at + 1]) | std::to_integer<std::size_t>(png[at + 2]) << 8;
    const std::size_t complement =
        std::to_integer<std::size_t>(png[at + 3]) | std::to_integer<std::size_t>(png[at + 4]) << 8;
    EXPECT_EQ(length ^ complement, 0xFFFFu);
    at += 5;
    if (at + length > png.size()) break;
    raw.insert(raw.end(), png.begin() + static_cast<std::ptrdiff_t>(at),
               png.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
  }
  EXPECT_TRUE(last);
  EXPECT_EQ(raw.size(), height * (1 + 4 * std::size_t{width}));
  if (raw.size() != height * (1 + 4 * std::size_t{width})) return pixels;
  for (std::uint32_t row = 0; row < height; ++row) {
    const std::size_t start = row * (1 + 4 * std::size_t{width});
    EXPECT_EQ(std::to_integer<int>(raw[start]), 0) << "filter type of row " << row;
    pixels.insert(pixels.end(), raw.begin() + static_cast<std::ptrdiff_t>(start + 1),
                  raw.begin() + static_cast<std::ptrdiff_t>(start + 1 + 4 * width));
  }
  return pixels;
}

}  // namespace tessiva::test
