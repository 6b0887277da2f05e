#pragma once
/// The troubleshooting log: one line per event of a host or launcher process, kept in
/// memory and appended to a file shared by every process of the user, which is renamed
/// aside when it grows too large. It holds kinds and outcomes only: never file names,
/// paths, file contents or settings values.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messages/channel.h"
#include "messages/host_error.h"
#include "platform/files.h"
#include "platform/os_error.h"

namespace tessiva::app {

/// The log's file name inside its folder; the older file adds ".1".
inline constexpr std::string_view LOG_FILE_NAME = "tessiva.log";
/// The size past which the log is renamed aside and started anew.
inline constexpr std::uint64_t LOG_ROTATE_BYTES = 1024 * 1024;
/// The size of the lines held in memory past which they are written at the next chance.
inline constexpr std::size_t LOG_FLUSH_BYTES = 4 * 1024;
/// How long a host holds the lines of requests that went well before it writes them:
/// a browser that sends request after request shares one write among many of them.
inline constexpr std::chrono::milliseconds LOG_HOLD_TIME{5};

/// The folder of the log, or none when it cannot be determined.
using LogFolderLookup = std::function<std::optional<std::string>()>;

/// The user's log folder (`platform::ProgramFolder::Logs`).
[[nodiscard]] std::optional<std::string> default_log_folder();

class EventLog {
 public:
  explicit EventLog(LogFolderLookup folder = default_log_folder, std::uint64_t rotate_bytes = LOG_ROTATE_BYTES,
                    std::chrono::milliseconds hold_time = LOG_HOLD_TIME);
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  /// Adds one line: the UTC time with milliseconds, the process id and `event` (control
  /// characters in it become spaces). Nothing is written yet; an `urgent` line (a
  /// failure) asks to be written at the next chance.
  void add(std::string_view event, bool urgent = false);
  /// Appends the lines held in memory with one write, opening the file first if need
  /// be. Failures are dropped: logging never disturbs the program.
  void flush() noexcept;
  [[nodiscard]] std::size_t held_bytes() const noexcept { return buffer_.size(); }
  /// Whether the lines held should be written now: one of them is urgent, they have
  /// grown past LOG_FLUSH_BYTES, or the oldest was added the hold time ago.
  [[nodiscard]] bool due() const noexcept;

 private:
  void write_held();
  bool open();
  void append_time_and_process();

  LogFolderLookup folder_;
  std::uint64_t rotate_bytes_;
  std::chrono::milliseconds hold_time_;
  std::string buffer_;
  std::string path_;
  platform::File file_;
  bool unusable_ = false;
  /// The second of the last line's time and its text up to the milliseconds
  /// ("2026-12-10T05:12:40."): lines within one second share it.
  std::int64_t prefix_second_ = -1;
  std::string time_prefix_;
  /// " pid=<id> ", looked up with the first line.
  std::string process_text_;
  bool urgent_ = false;
  /// When the oldest line held was added.
  std::chrono::steady_clock::time_point held_since_;
};

/// The line that starts a host: version, mode, browser family and caller as the
/// command line names them, and whether a parent window was given.
[[nodiscard]] std::string start_event(std::string_view mode, const std::vector<std::string>& arguments,
                                      bool parent_window);

/// The line of one request. `type` is the request's type when it is a known one (empty
/// otherwise: the text of an unknown type is the caller's and is not logged).
[[nodiscard]] std::string request_event(std::string_view type, const messages::HandlerResult& outcome,
                                        std::chrono::steady_clock::duration elapsed);

/// The line that ends a host: why its loop ended.
[[nodiscard]] std::string end_event(messages::ChannelEnd end);

/// The line of a launcher child: the kind of job and its outcome.
[[nodiscard]] std::string launch_event(std::string_view kind, const platform::Result<void>& outcome);

/// An error text as the log may hold it: the text when it names nothing of the user's
/// (no path separator, no quotes, which system messages put around names), else only
/// its "os error N" part when it has one, else nothing.
[[nodiscard]] std::string loggable_detail(std::string_view detail);

/// Observes a host's channel: before the host reads the next request it writes the lines
/// held in memory when they are due (never before the first reply was sent). The check
/// makes no system call: a wait for input on every request cost a tenth of the rate of
/// small round trips. So while requests keep coming, the lines of those that went well
/// reach the file within LOG_HOLD_TIME, a failure's line with the next read, and the
/// last lines of a host that sits idle when its connection ends.
class ChannelLog final : public messages::ChannelObserver {
 public:
  explicit ChannelLog(EventLog& log) : log_(log) {}
  void before_frame() override;
  void rejected_frame() override;

 private:
  EventLog& log_;
  bool replied_ = false;
};

}  // namespace tessiva::app
