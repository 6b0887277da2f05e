#include "platform/shell.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "platform/linux/posix_error.h"
#include "platform/linux/posix_process.h"
#include "text/command_line.h"

namespace tessiva::platform {
namespace {

std::string parent_folder(const std::string& path) {
  const auto at = path.find_last_of('/');
  if (at == std::string::npos) return {};
  return at == 0 ? std::string("/") : path.substr(0, at);
}

}  // namespace

Result<void> start_application(const std::string& program, const std::string& command_line) {
  std::vector<std::string> arguments = text::split_windows_command_line(std::string_view(command_line));
  if (arguments.empty()) arguments.emplace_back();  // the program's own name, empty as given
  return start_detached(program, arguments,
                        {.new_session = false, .null_streams = false, .folder = parent_folder(program)});
}

}  // namespace tessiva::platform
