#pragma once
/// What the per-user installation and the self-check on Linux ask of the system beyond
/// files.h: the environment, the terminal the program was started from, file modes,
/// symbolic links and waiting for a program. Only Linux code includes it.

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

/// Gives the file `path` the mode of an installed program: rwxr-xr-x.
[[nodiscard]] Result<void> make_executable(const std::string& path);

/// What the symbolic link `path` holds, as written; fails for anything else.
[[nodiscard]] Result<std::string> symbolic_link_target(const std::string& path);
/// Creates the symbolic link `path` holding `target`; fails when `path` exists.
[[nodiscard]] Result<void> create_symbolic_link(const std::string& target, const std::string& path);

/// Runs `program` with `argv` (its first element the name the program sees), standard
/// input on /dev/null and the other streams the caller's, waits for it and gives its
/// exit status (128 + the signal for one ended by a signal).
[[nodiscard]] Result<int> run_and_wait(const std::string& program, const std::vector<std::string>& argv);

}  // namespace tessiva::platform
