#pragma once
/// The Windows shell: starting applications on files, invoking the handlers registered
/// for a file type, and showing items in Explorer.

#include <string>
#include <string_view>

#include "platform/os_error.h"

namespace tessiva::platform {

/// Starts `program` with `command_line` exactly as given (nothing is added, quoted or
/// escaped; by convention it begins with the quoted program path), in a process group
/// of its own (CREATE_NEW_PROCESS_GROUP), with the folder that holds `program` as the
/// working directory and the caller's standard handles. Never waits for it. The stand-in
/// splits `command_line` by the Windows rules into the argument vector and executes
/// `program` directly, without a shell.
[[nodiscard]] Result<void> start_application(const std::string& program, const std::string& command_line);

/// Invokes on `file` the first handler registered for "." + `ext` whose name
/// (`IAssocHandler::GetName`, as UTF-8) equals `handler_id` byte for byte. Fails when no
/// handler matches or a shell call fails. The stand-in has no handlers and always fails.
[[nodiscard]] Result<void> invoke_handler(std::string_view ext, std::string_view handler_id,
                                          const std::string& file);

/// Starts the desktop entry in the file `desktop_file` (a ".desktop" file) on `file`, with
/// the arguments that its Exec line gives (Linux). Windows has no desktop entries: it
/// always fails there.
[[nodiscard]] Result<void> launch_desktop_entry(const std::string& desktop_file, const std::string& file);

/// Opens the folder that holds `path` in Explorer with the item selected (for a folder,
/// its parent with the folder selected). The stand-in always fails.
[[nodiscard]] Result<void> reveal_in_explorer(const std::string& path);

}  // namespace tessiva::platform
