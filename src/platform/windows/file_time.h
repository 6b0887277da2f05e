#pragma once
/// FILETIME values as points of the system clock.

#include <chrono>
#include <cstdint>

#include "platform/windows/windows.h"

namespace tessiva::platform {

/// `ft` (100 ns units since 1601-01-01 UTC) on the system clock (which counts from 1970).
[[nodiscard]] inline std::chrono::system_clock::time_point to_time_point(FILETIME ft) noexcept {
  constexpr std::int64_t UNITS_1601_TO_1970 = 116444736000000000;
  const auto units = static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) |
                                               ft.dwLowDateTime) - UNITS_1601_TO_1970;
  using Units = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(Units(units)));
}

}  // namespace tessiva::platform
