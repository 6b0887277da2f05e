#include "platform/launch.h"
#include "platform/linux/launch.h"

#include "platform/linux/posix_process.h"
#include "text/paths.h"

namespace tessiva::platform {
namespace {

std::string parent_folder(const std::string& path) {
  return std::string(text::parent_folder(path, text::PathStyle::Posix));
}

}  // namespace

ArgumentConvention native_argument_convention() noexcept { return ArgumentConvention::ArgumentVector; }

Result<void> start_application_with_arguments(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  // Its own session: no signal meant for the browser's process group or terminal reaches it.
  return start_detached(program, argv, {.new_session = true, .null_streams = false, .folder = parent_folder(program)});
}

}  // namespace tessiva::platform
