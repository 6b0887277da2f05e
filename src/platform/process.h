#pragma once
/// Process, command line and standard streams.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os_error.h"
#include "platform/process_options.h"

namespace tessiva::platform {

/// The operating system's name as the host reports it: "windows" or "linux".
extern const std::string_view PLATFORM_NAME;

/// True where programs are run from a shell that expects "--help", "--version" and a
/// refusal of unknown options (Linux); false on Windows, where the program is started
/// by a double-click or the list of installed programs and reads its arguments leniently.
extern const bool STRICT_OPTIONS;

/// The program's arguments, UTF-8, the first being the program path as it was started:
/// on Windows `GetCommandLineW` split by the Windows rules, on Linux argv as it is. May
/// be empty.
[[nodiscard]] std::vector<std::string> arguments();

/// Full path of the running executable, UTF-8.
[[nodiscard]] Result<std::string> executable_path();

[[nodiscard]] std::uint32_t process_id() noexcept;

/// What can be known about the process with a given id.
enum class ProcessState {
  /// A process runs under the id (our own included). It may be another program that
  /// got a reused id, or another copy or version of this one: a program file is no
  /// proof of who owns what.
  Alive,
  /// No process has the id, or the process has ended.
  Gone,
  /// The system would not say (no access, say). A caller about to remove what such a
  /// process may own must take it as alive.
  Unknown,
};

/// Whether the process `id` still runs. A quick first test for sweeping up what
/// processes of this program left behind when they were ended from outside.
[[nodiscard]] ProcessState process_state(std::uint32_t id);

/// Reads up to `buffer.size()` bytes from standard input as raw bytes. Returns the
/// count read; 0 means the input has ended (on Windows a broken pipe is an end too).
[[nodiscard]] Result<std::size_t> read_stdin(std::span<std::byte> buffer);

/// Writes all of `bytes` to standard output, unbuffered.
[[nodiscard]] Result<void> write_stdout(std::span<const std::byte> bytes);

/// Starts `program` with `arguments` (each quoted by the Windows rules into one
/// command line) and the given creation options, closes every handle of the new
/// process at once and never waits for it. Linux ignores the options and detaches the
/// child in a session of its own, its standard input and output on /dev/null.
[[nodiscard]] Result<void> spawn_detached(const std::string& program,
                                          const std::vector<std::string>& arguments,
                                          CreationOptions options);

/// Starts this program again with `arguments`, detached as `spawn_detached` starts a
/// program. On Linux through /proc/self/exe, the running program's own file, which it
/// reaches even after an update renamed a new file over its path (the path would start
/// another file, or none); the new process gets the path as its name. On Windows the
/// path the program was started from: an update there moves the running file aside and
/// puts the new one under that path, so the current install is started.
[[nodiscard]] Result<void> spawn_self_detached(const std::vector<std::string>& arguments, CreationOptions options);

/// Starts `program` with `argv` (its first element the name the program sees) and its
/// standard input and output on pipes, writes `input` and closes the input, then
/// collects at most `limit` bytes of its output until it closes it. A program still
/// running after `timeout_ms` is killed; its output so far is returned. For checking
/// that an installed program answers; standard error stays the caller's.
[[nodiscard]] Result<std::string> run_with_pipes(const std::string& program, const std::vector<std::string>& argv,
                                                 std::string_view input, std::size_t limit, int timeout_ms);

/// Ends the process with `code`.
[[noreturn]] void exit_process(int code);

}  // namespace tessiva::platform
