#include "platform/clock.h"

#include <ctime>

namespace tessiva::platform {

LocalTime local_time_now() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  ::localtime_r(&now, &t);
  return LocalTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

// Both clocks are read with clock_gettime itself: the C++ library's now() adds a call
// into another page of that library, and every page a host touches before its first
// reply costs start-up time.
namespace {
std::chrono::nanoseconds read_clock(clockid_t clock) {
  timespec now{};
  ::clock_gettime(clock, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}
}  // namespace

std::chrono::system_clock::time_point system_time_now() {
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(read_clock(CLOCK_REALTIME)));
}

// The C++ library's steady clock is CLOCK_MONOTONIC on Linux: the same time points.
std::chrono::steady_clock::time_point steady_time_now() {
  return std::chrono::steady_clock::time_point(
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(read_clock(CLOCK_MONOTONIC)));
}

}  // namespace tessiva::platform
