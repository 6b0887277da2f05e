#include "platform/clock.h"

#include <ctime>

namespace tessiva::platform {

LocalTime local_time_now() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  ::localtime_r(&now, &t);
  return LocalTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

std::chrono::system_clock::time_point system_time_now() { return std::chrono::system_clock::now(); }

}  // namespace tessiva::platform
