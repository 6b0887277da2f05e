#pragma once
/// What the POSIX entry point hands to the process module.

namespace tessiva::platform {

/// Keeps argv so that command_line() can give it back in Windows form.
void set_process_arguments(int argc, char** argv);

}  // namespace tessiva::platform
