#pragma once
/// Starting what the user chose for a file: the handler the system has registered for
/// its type, or the file manager showing it. (An application the user named is started
/// by each system's own rules: platform/windows/launch.h, platform/linux/launch.h.)

#include <string>
#include <string_view>

#include "platform/os_error.h"

namespace tessiva::platform {

/// How the running system hands a started application its arguments.
enum class ArgumentConvention {
  /// One command line that the program splits itself (Windows).
  CommandLine,
  /// A vector of arguments, each exactly as given (POSIX `execv`).
  ArgumentVector,
};

[[nodiscard]] ArgumentConvention native_argument_convention() noexcept;

/// Invokes on `file` the first handler registered for "." + `ext` whose id (as
/// `handler_infos` lists it) equals `handler_id` byte for byte. Fails when no handler
/// matches or the system fails to start it. On Windows the id is the association
/// handler's name; on Linux a desktop file id that must be registered for the
/// extension's content type, which GIO launches.
[[nodiscard]] Result<void> invoke_handler(std::string_view ext, std::string_view handler_id,
                                          const std::string& file);

/// Opens the folder that holds `path` in the file manager with the item selected (for a
/// folder, its parent with the folder selected): on Windows Explorer; on Linux the file
/// manager's ShowItems over the session bus, else the folder opened with the default
/// handler for folders.
[[nodiscard]] Result<void> reveal_in_file_manager(const std::string& path);

}  // namespace tessiva::platform
