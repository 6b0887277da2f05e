#pragma once
/// Starting an application the user named, by the POSIX rules: a program with a vector
/// of arguments, or a desktop entry with the arguments of its Exec line.

#include <string>
#include <vector>

#include "platform/os_error.h"

namespace tessiva::platform {

/// Starts `program` with `arguments` after its own path, each exactly as given, with the
/// folder that holds `program` as the working directory, and never waits for it. It is
/// executed directly (no shell) in a session of its own (`setsid`), so it is not part
/// of the caller's process tree, group or terminal.
[[nodiscard]] Result<void> start_application_with_arguments(const std::string& program,
                                                            const std::vector<std::string>& arguments);

/// Starts the desktop entry in the file `desktop_file` (a ".desktop" file) on `file`, with
/// the arguments that its Exec line gives.
[[nodiscard]] Result<void> launch_desktop_entry(const std::string& desktop_file, const std::string& file);

}  // namespace tessiva::platform
