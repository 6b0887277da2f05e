#pragma once
/// Starting an application the user named, by the Windows rules: one command line that
/// the program splits itself.

#include <string>

#include "platform/os_error.h"

namespace tessiva::platform {

/// Starts `program` with `command_line` exactly as given (nothing is added, quoted or
/// escaped; by convention it begins with the quoted program path), in a process group
/// of its own (CREATE_NEW_PROCESS_GROUP), with the folder that holds `program` as the
/// working directory and the caller's standard handles. Never waits for it.
[[nodiscard]] Result<void> start_application(const std::string& program, const std::string& command_line);

}  // namespace tessiva::platform
