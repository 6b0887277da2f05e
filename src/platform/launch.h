#pragma once
/// The Windows shell: starting applications on files, invoking the handlers registered
/// for a file type, and showing items in Explorer.

#include <string>
#include <string_view>
#include <vector>

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

/// Starts `program` with `command_line` exactly as given (nothing is added, quoted or
/// escaped; by convention it begins with the quoted program path), in a process group
/// of its own (CREATE_NEW_PROCESS_GROUP), with the folder that holds `program` as the
/// working directory and the caller's standard handles. Never waits for it. For the
/// `CommandLine` convention; Linux refuses it.
[[nodiscard]] Result<void> start_application(const std::string& program, const std::string& command_line);

/// Starts `program` with `arguments` after its own path, each exactly as given, with the
/// folder that holds `program` as the working directory, and never waits for it. On
/// Linux it is executed directly (no shell) in a session of its own (`setsid`), so it is
/// not part of the caller's process tree, group or terminal. Windows quotes the
/// arguments into one command line by its rules and starts it as `start_application`.
[[nodiscard]] Result<void> start_application_with_arguments(const std::string& program,
                                                            const std::vector<std::string>& arguments);

/// Invokes on `file` the first handler registered for "." + `ext` whose name
/// (`IAssocHandler::GetName`, as UTF-8) equals `handler_id` byte for byte. Fails when no
/// handler matches or a shell call fails. On Linux `handler_id` is a desktop file id
/// that must be registered for the extension's content type; GIO launches it.
[[nodiscard]] Result<void> invoke_handler(std::string_view ext, std::string_view handler_id,
                                          const std::string& file);

/// Starts the desktop entry in the file `desktop_file` (a ".desktop" file) on `file`, with
/// the arguments that its Exec line gives (Linux). Windows has no desktop entries: it
/// always fails there.
[[nodiscard]] Result<void> launch_desktop_entry(const std::string& desktop_file, const std::string& file);

/// Opens the folder that holds `path` in Explorer with the item selected (for a folder,
/// its parent with the folder selected). On Linux: the file manager's ShowItems over
/// the session bus, else the folder opened with the default handler for folders.
[[nodiscard]] Result<void> reveal_in_file_manager(const std::string& path);

}  // namespace tessiva::platform
