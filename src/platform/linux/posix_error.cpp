#include "platform/linux/posix_error.h"

#include <cerrno>
#include <cstring>

namespace tessiva::platform {

OsError os_error(int code) { return OsError{static_cast<std::uint32_t>(code), std::strerror(code)}; }

OsError last_os_error() { return os_error(errno); }

}  // namespace tessiva::platform
