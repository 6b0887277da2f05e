#include "platform/os_error.h"

namespace tessiva::platform {

std::string OsError::text() const { return message + " (os error " + std::to_string(code) + ")"; }

}  // namespace tessiva::platform
