#pragma once
/// The detached launcher: the host starts a copy of its own executable with "--launch"
/// and a hex-encoded job and never waits for it; the copy carries out the one job and
/// exits. Applications, shell handlers and file manager windows are never started inside
/// the host itself.

#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "open/launch_job.h"
#include "platform/os_error.h"
#include "platform/process_options.h"

namespace tessiva::open {

/// The argument before the job on the launcher's command line.
inline constexpr std::string_view LAUNCH_ARGUMENT = "--launch";

/// No console or console window, a process group of its own, and outside any job
/// object of the host where the system allows it.
inline constexpr platform::CreationOptions LAUNCH_OPTIONS =
    platform::CreationOptions::NoConsole | platform::CreationOptions::NewProcessGroup |
    platform::CreationOptions::NoWindow | platform::CreationOptions::BreakAwayFromJob;
/// The same without the break-away, for when the host's job refuses it.
inline constexpr platform::CreationOptions LAUNCH_OPTIONS_IN_JOB = platform::CreationOptions::NoConsole |
                                                                   platform::CreationOptions::NewProcessGroup |
                                                                   platform::CreationOptions::NoWindow;

/// How this program is started again detached (`platform::spawn_self_detached`); tests
/// pass fakes.
using SpawnSelf =
    std::function<platform::Result<void>(const std::vector<std::string>& arguments, platform::CreationOptions options)>;

/// Starts the launcher for `job` and returns at once. The failure is the system's error
/// text of the last attempt (callers reply "launch_failed" with it).
[[nodiscard]] std::expected<void, std::string> spawn_launcher(const LaunchJob& job);

/// How request handlers start the launcher for a job (`spawn_launcher`); tests pass
/// recorders instead of starting processes. The failure is the error text.
using StartLauncher = std::function<std::expected<void, std::string>(const LaunchJob&)>;

/// `spawn_launcher` with the way of spawning passed in: the job goes as exactly two
/// arguments, "--launch" and its hex text, first with `LAUNCH_OPTIONS` and, if that
/// fails, once more with `LAUNCH_OPTIONS_IN_JOB`.
[[nodiscard]] std::expected<void, std::string> spawn_launcher_with(const SpawnSelf& spawn, const LaunchJob& job);

/// The launcher child: decodes the job given after "--launch" and carries it out.
/// Returns the exit code: 0 when the action was started or carried out, 1 for a
/// malformed job or a failed action.
/// `report` (when given) is told the kind of the job ("app", "handler", "reveal", or
/// "malformed" for a job that cannot be read) and its outcome.
using LaunchReport = std::function<void(std::string_view kind, const platform::Result<void>& outcome)>;
[[nodiscard]] int run_launch_job(std::string_view job_hex, const LaunchReport& report = {});

/// The arguments an application gets for `file`: `args` with every "{file}" replaced by
/// the quoted path; else, when `args` is not blank, `args` without its surrounding white
/// space, a space and the quoted path; else the quoted path alone.
[[nodiscard]] std::string app_argument_text(std::string_view args, std::string_view file);

/// The command line of an application: its quoted path, a space and `argument_text`
/// exactly as given.
[[nodiscard]] std::string app_command_line(std::string_view exe, std::string_view argument_text);

/// The argument vector an application gets for `file` where arguments are passed as a
/// vector: `args` split by the shell's quoting (`text::split_argument_words`), then every
/// "{file}" inside an argument replaced by the path; without any "{file}", the path
/// added as the last argument. The path is always exactly its own bytes. None when
/// `args` cannot be split.
[[nodiscard]] std::optional<std::vector<std::string>> app_argument_vector(std::string_view args,
                                                                         std::string_view file);

/// True when the application `exe` is a desktop entry (a ".desktop" file), which is
/// launched through the desktop with its own arguments where applications take
/// argument vectors.
[[nodiscard]] bool is_desktop_entry(std::string_view exe) noexcept;

}  // namespace tessiva::open
