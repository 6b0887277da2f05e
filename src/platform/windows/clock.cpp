#include "platform/clock.h"

#include "platform/windows/file_time.h"
#include "platform/windows/windows.h"

namespace tessiva::platform {

LocalTime local_time_now() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

std::chrono::system_clock::time_point system_time_now() {
  // The same clock and the same units as the file times of file_attributes.
  FILETIME ft;
  ::GetSystemTimePreciseAsFileTime(&ft);
  return to_time_point(ft);
}

std::chrono::steady_clock::time_point steady_time_now() { return std::chrono::steady_clock::now(); }

}  // namespace tessiva::platform
