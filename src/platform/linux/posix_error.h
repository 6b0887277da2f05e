#pragma once
/// errno values as `OsError`.

#include "platform/os_error.h"

namespace tessiva::platform {

/// The error `code` with its strerror text.
[[nodiscard]] OsError os_error(int code);
/// `os_error(errno)`.
[[nodiscard]] OsError last_os_error();

}  // namespace tessiva::platform
