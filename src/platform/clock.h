#pragma once
/// Local and system time.

#include <chrono>

namespace tessiva::platform {

/// Calendar fields of the local time.
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

[[nodiscard]] LocalTime local_time_now();
[[nodiscard]] std::chrono::system_clock::time_point system_time_now();
/// A clock that only moves forward, for durations.
[[nodiscard]] std::chrono::steady_clock::time_point steady_time_now();

}  // namespace tessiva::platform
