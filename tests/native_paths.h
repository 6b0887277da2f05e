#pragma once
// Sample absolute paths for tests that run on both systems.

#include <string>

#include "platform/files.h"

namespace tessiva::test {

/// `windows` where paths follow the Windows rules, else `posix`.
inline std::string native_absolute(std::string windows, std::string posix) {
  return platform::native_path_style() == text::PathStyle::Windows ? std::move(windows) : std::move(posix);
}

}  // namespace tessiva::test
