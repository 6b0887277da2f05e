#pragma once
/// Whether a Windows program has anywhere to write: one started from the desktop has
/// no standard output, and its command-line modes answer in a message box instead.

namespace tessiva::platform {

/// True when standard output leads somewhere: a file, a pipe or a console.
[[nodiscard]] bool standard_output_is_open() noexcept;

}  // namespace tessiva::platform
