#pragma once
/// The system's command processor, for work that must outlive the program (such as
/// removing the folder the program runs from).

#include <string>
#include <string_view>

#include "platform/os_error.h"
#include "platform/process_options.h"

namespace tessiva::platform {

/// Starts the command processor of the system folder ("cmd.exe") with the arguments
/// "/d" and "/c" followed by `command` exactly as given (not quoted as a whole), in
/// `working_folder` (none when empty: the caller's), with `options`, and never
/// waits for it.
[[nodiscard]] Result<void> start_command_processor(std::string_view command, const std::string& working_folder,
                                                   CreationOptions options);

}  // namespace tessiva::platform
