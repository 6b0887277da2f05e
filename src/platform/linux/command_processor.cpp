#include "platform/command_processor.h"

#include <cerrno>

#include "platform/linux/posix_error.h"

namespace tessiva::platform {

Result<void> start_command_processor(std::string_view, const std::string&, CreationOptions) {
  return std::unexpected(os_error(ENOSYS));
}

}  // namespace tessiva::platform
