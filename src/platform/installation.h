#pragma once
/// What the per-user installation on Linux asks of the system beyond files.h: the
/// environment, the terminal it was started from, file modes and empty folders.
/// Implemented on Linux only, except the standard output and error functions, which
/// the command-line modes of both systems use, and the removal of an empty folder,
/// which both uninstallers use.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os_error.h"

namespace tessiva::platform {

/// The value of the environment variable `name`; none when it is not set.
[[nodiscard]] std::optional<std::string> environment_variable(const std::string& name);

/// True when standard input is a terminal: someone started the program by hand.
[[nodiscard]] bool standard_input_is_terminal() noexcept;

/// One line read from standard input, without its line break; none at its end or on
/// an error.
[[nodiscard]] std::optional<std::string> read_standard_input_line();

/// True when standard output leads somewhere: a file, a pipe or a terminal (console).
/// A Windows program started from the desktop has none.
[[nodiscard]] bool standard_output_is_open() noexcept;

/// Writes `text` to standard output (or standard error) at once, unbuffered.
void write_standard_output(std::string_view text) noexcept;
void write_standard_error(std::string_view text) noexcept;

/// Gives the file `path` the mode of an installed program: rwxr-xr-x.
[[nodiscard]] Result<void> make_executable(const std::string& path);

/// Removes the folder `path` when it is empty; fails (and keeps it) otherwise.
[[nodiscard]] Result<void> remove_empty_folder(const std::string& path);

/// What the symbolic link `path` holds, as written; fails for anything else.
[[nodiscard]] Result<std::string> symbolic_link_target(const std::string& path);
/// Creates the symbolic link `path` holding `target`; fails when `path` exists.
[[nodiscard]] Result<void> create_symbolic_link(const std::string& target, const std::string& path);

/// Runs `program` with `argv` (its first element the name the program sees), standard
/// input on /dev/null and the other streams the caller's, waits for it and gives its
/// exit status (128 + the signal for one ended by a signal).
[[nodiscard]] Result<int> run_and_wait(const std::string& program, const std::vector<std::string>& argv);

}  // namespace tessiva::platform
