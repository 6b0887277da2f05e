#pragma once
/// The program's entry: reads the command line, runs one mode, returns its exit code.

namespace tessiva::app {

/// Runs the mode that the command line selects; the caller ends the process with the
/// returned code.
[[nodiscard]] int run_program();

}  // namespace tessiva::app
