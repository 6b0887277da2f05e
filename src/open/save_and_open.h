#pragma once
/// "open_file", the targets of a saved file, and the save-and-open operation that also
/// ends a chunked transfer.

#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "config/config.h"
#include "messages/host_error.h"
#include "open/launch_job.h"
#include "open/launcher.h"
#include "platform/files.h"

namespace tessiva::open {

/// The greatest age in seconds of a file that "open_file" accepts.
inline constexpr long long MAX_SOURCE_AGE_SECS = 900;

/// ".tessiva-copy-<process id>.tmp" for `attempt` 1, ".tessiva-copy-<process id>-<attempt>.tmp"
/// for later ones: a temporary file in the save folder into which this process copies
/// a file that cannot be renamed there (another volume). A later attempt is used when
/// the name is taken.
[[nodiscard]] std::string copy_file_name(std::uint32_t process_id, int attempt = 1);

/// The process id in the name of such a copy (as `copy_file_name` writes it); none for
/// any other name.
[[nodiscard]] std::optional<std::uint32_t> copy_file_owner(std::string_view name);

/// True when a file last written at `last_write` is more than `MAX_SOURCE_AGE_SECS`
/// old at `now` (exactly the limit still passes); a last-write time in the future
/// counts as age 0.
[[nodiscard]] bool is_source_too_old(std::chrono::system_clock::time_point now,
                                     std::chrono::system_clock::time_point last_write);

/// What to do with a saved file, tagged by "kind" on the wire.
namespace target {
struct App {
  std::string app_id;
  friend bool operator==(const App&, const App&) = default;
};
struct Handler {
  std::string handler_id;
  friend bool operator==(const Handler&, const Handler&) = default;
};
struct Default {
  friend bool operator==(const Default&, const Default&) = default;
};
struct SaveOnly {
  friend bool operator==(const SaveOnly&, const SaveOnly&) = default;
};
}  // namespace target
using Target = std::variant<target::App, target::Handler, target::Default, target::SaveOnly>;

/// Reads the request member "target"; none when it is missing or not a valid target.
[[nodiscard]] std::optional<Target> read_target(const nlohmann::json& request);

/// Resolves the target against `settings`, saves `source`, which is open as `held`,
/// into the save folder under a name built from `reported_name` (moving it, or copying
/// what `held` holds and deleting it), starts the launcher for the plan and, when the
/// settings ask for it, a reveal. Replies {"saved_path": ...}. `held` is closed once the
/// file is saved; it stays open when nothing was saved.
[[nodiscard]] messages::HandlerResult save_and_open(const config::Config& settings, const std::string& source,
                                                    platform::File& held, std::string_view reported_name,
                                                    const Target& target);

/// `save_and_open` with the start of the launcher passed in (tests record the jobs
/// instead of starting processes).
[[nodiscard]] messages::HandlerResult save_and_open(const config::Config& settings, const std::string& source,
                                                    platform::File& held, std::string_view reported_name,
                                                    const Target& target, const StartLauncher& start_launcher);

/// "open_file": the settings are read once the request has passed its checks.
[[nodiscard]] messages::HandlerResult handle_open_file(const nlohmann::json& request,
                                                       const config::SettingsLoader& settings);

}  // namespace tessiva::open
