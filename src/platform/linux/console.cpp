#include "platform/console.h"

#include <unistd.h>

#include <cerrno>

namespace tessiva::platform {
namespace {

void write_all(int fd, std::string_view text) noexcept {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

void write_standard_output(std::string_view text) noexcept { write_all(STDOUT_FILENO, text); }

void write_standard_error(std::string_view text) noexcept { write_all(STDERR_FILENO, text); }

}  // namespace tessiva::platform
