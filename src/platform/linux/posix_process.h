#pragma once
/// What the POSIX entry point hands to the process module, the detached start that
/// the process and launch modules share, and whether the process runs as the superuser
/// (which the self-check asks).

#include <string>
#include <vector>

#include "platform/os_error.h"

namespace tessiva::platform {

/// Keeps argv for arguments().
void set_process_arguments(int argc, char** argv);

/// How `start_detached` sets up the new program.
struct DetachedStart {
  /// A session of its own (the launch child), else only a process group of its own.
  bool new_session = false;
  /// Standard input and output on /dev/null instead of the caller's.
  bool null_streams = false;
  /// The working folder; empty keeps the caller's.
  std::string folder;
};

/// Starts `program` with `argv` (its first element the name the program sees) and returns once it runs (or failed to start), never
/// waiting for it: a double fork leaves it to init, so it becomes nobody's zombie, and
/// a close-on-exec pipe carries a failure of chdir or exec back.
[[nodiscard]] Result<void> start_detached(const std::string& program, const std::vector<std::string>& argv,
                                          const DetachedStart& how);

/// True when the process runs with the rights of the superuser (effective user id 0).
[[nodiscard]] bool runs_as_superuser() noexcept;

}  // namespace tessiva::platform
