#pragma once
/// The standard output and error of the command-line modes (install, uninstall, the
/// self-check), written as lines of text rather than frames.

#include <string_view>

namespace tessiva::platform {

/// Writes `text` to standard output (or standard error) at once, unbuffered.
void write_standard_output(std::string_view text) noexcept;
void write_standard_error(std::string_view text) noexcept;

}  // namespace tessiva::platform
