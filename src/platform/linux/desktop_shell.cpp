// Handlers, desktop entries and the file manager, through GIO and the session bus.

#include <cerrno>

#include "platform/linux/posix_error.h"
#include "platform/shell.h"

namespace tessiva::platform {

Result<void> invoke_handler(std::string_view, std::string_view, const std::string&) {
  return std::unexpected(os_error(ENOSYS));
}

Result<void> launch_desktop_entry(const std::string&, const std::string&) { return std::unexpected(os_error(ENOSYS)); }

Result<void> reveal_in_explorer(const std::string&) { return std::unexpected(os_error(ENOSYS)); }

}  // namespace tessiva::platform
