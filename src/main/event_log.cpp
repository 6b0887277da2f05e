#include "main/event_log.h"

#include <algorithm>
#include <charconv>

#include "messages/caller.h"
#include "messages/protocol.h"
#include "messages/version.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/process.h"

namespace tessiva::app {
namespace {

/// Appends `value` in decimal, at least `width` digits (zeros in front). Lines are
/// built without printf: it is many times slower here, and its code would be more pages
/// a host touches before its first reply.
void append_number(std::string& out, std::uint64_t value, int width = 1) {
  char digits[20];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  (void)error;  // 20 digits hold any 64-bit value
  for (auto n = end - digits; n < width; ++n) out += '0';
  out.append(digits, end);
}

/// Text from the command line, kept to printable ASCII and a sane length.
std::string printable(std::string_view text, std::size_t limit = 200) {
  std::string out;
  for (char c : text.substr(0, limit)) out += (c > ' ' && c < 0x7F) ? c : '?';
  return out;
}

}  // namespace

std::optional<std::string> default_log_folder() {
  return platform::program_folder(platform::ProgramFolder::Logs, messages::PRODUCT_NAME);
}

EventLog::EventLog(LogFolderLookup folder, std::uint64_t rotate_bytes, std::chrono::milliseconds hold_time)
    : folder_(std::move(folder)), rotate_bytes_(rotate_bytes), hold_time_(hold_time) {}

EventLog::~EventLog() { flush(); }

void EventLog::append_time_and_process() {
  using namespace std::chrono;
  const auto now = time_point_cast<milliseconds>(platform::system_time_now());
  const auto second = floor<seconds>(now);
  if (second.time_since_epoch().count() != prefix_second_) {
    prefix_second_ = second.time_since_epoch().count();
    const auto day = floor<days>(second);
    const year_month_day date{day};
    const hh_mm_ss time{second - day};
    time_prefix_.clear();
    append_number(time_prefix_, static_cast<std::uint64_t>(std::max(0, static_cast<int>(date.year()))), 4);
    time_prefix_ += '-';
    append_number(time_prefix_, static_cast<unsigned>(date.month()), 2);
    time_prefix_ += '-';
    append_number(time_prefix_, static_cast<unsigned>(date.day()), 2);
    time_prefix_ += 'T';
    append_number(time_prefix_, static_cast<std::uint64_t>(time.hours().count()), 2);
    time_prefix_ += ':';
    append_number(time_prefix_, static_cast<std::uint64_t>(time.minutes().count()), 2);
    time_prefix_ += ':';
    append_number(time_prefix_, static_cast<std::uint64_t>(time.seconds().count()), 2);
    time_prefix_ += '.';
  }
  buffer_ += time_prefix_;
  append_number(buffer_, static_cast<std::uint64_t>((now - second).count()), 3);
  buffer_ += 'Z';
  if (process_text_.empty()) {
    process_text_ = " pid=";
    append_number(process_text_, platform::process_id());
    process_text_ += ' ';
  }
  buffer_ += process_text_;
}

void EventLog::add(std::string_view event, bool urgent) {
  if (buffer_.empty()) held_since_ = platform::steady_time_now();
  urgent_ = urgent_ || urgent;
  append_time_and_process();
  const auto from = buffer_.size();
  buffer_ += event;
  std::replace_if(
      buffer_.begin() + static_cast<std::ptrdiff_t>(from), buffer_.end(),
      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, ' ');
  buffer_ += '\n';
}

bool EventLog::due() const noexcept {
  if (buffer_.empty()) return false;
  return urgent_ || buffer_.size() >= LOG_FLUSH_BYTES || platform::steady_time_now() - held_since_ >= hold_time_;
}

void EventLog::flush() noexcept {
  urgent_ = false;
  if (buffer_.empty()) return;
  try {
    write_held();
  } catch (...) {
    // Out of memory while logging: the lines are lost, the program goes on.
  }
  buffer_.clear();
}

bool EventLog::open() {
  if (path_.empty()) {
    const auto folder = folder_ ? folder_() : std::nullopt;
    if (!folder || !platform::create_private_folders(*folder, 1)) return false;
    path_ = platform::join_path(*folder, LOG_FILE_NAME);
  }
  auto file = platform::open_append(path_);
  if (!file) return false;
  file_ = std::move(*file);
  return true;
}

void EventLog::write_held() {
  if (unusable_) return;
  if (!file_.is_open() && !open()) {
    unusable_ = true;
    return;
  }
  const auto size = file_.size();
  if (size && *size + buffer_.size() > rotate_bytes_) {
    // The open file is full. Another process may have renamed it aside already (this
    // handle then names the older file): only a full file at the log's name is
    // renamed, and a rename that fails because another process got there first is
    // as good as one that worked.
    file_.close();
    const auto current = platform::file_attributes(path_);
    if (current && current->size + buffer_.size() > rotate_bytes_)
      (void)platform::rename_replace(path_, path_ + ".1");
    if (!open()) {
      unusable_ = true;
      return;
    }
    // The rename failed (the older file's name is taken by a folder, say): the log
    // stays at its limit and these lines are dropped, so that it never grows without
    // bound. The next write tries the rename again.
    const auto reopened = file_.size();
    if (reopened && *reopened > 0 && *reopened + buffer_.size() > rotate_bytes_) return;
  }
  (void)file_.write(buffer_);
}

std::string start_event(std::string_view mode, const std::vector<std::string>& arguments, bool parent_window) {
  std::string browser = "unknown";
  std::string caller = "none";
  for (const auto& argument : arguments) {
    // Firefox passes its manifest's path (never logged) and the extension id.
    const auto sign = messages::caller_sign(argument);
    if (sign && sign != messages::CallerSign::Manifest) {
      browser = messages::family_name(messages::family_of(*sign));
      caller = printable(argument);
      break;
    }
  }
  std::string out = "start version=";
  out += messages::HOST_VERSION;
  out += " mode=";
  out += mode;
  out += " browser=" + browser + " caller=" + caller;
  out += parent_window ? " parent_window=yes" : " parent_window=no";
  if (std::ranges::find(arguments, messages::SELF_CHECK_ARGUMENT) != arguments.end()) out += " started_by=self_check";
  return out;
}

std::string loggable_detail(std::string_view detail) {
  constexpr std::string_view NAMING = "/\\\"'`";
  const bool names_something =
      detail.find_first_of(NAMING) != std::string_view::npos ||
      // curly quotes and guillemets, as system messages write them around names
      detail.find("\xE2\x80\x9C") != std::string_view::npos || detail.find("\xE2\x80\x98") != std::string_view::npos ||
      detail.find("\xC2\xAB") != std::string_view::npos;
  if (!names_something) return std::string(detail);
  constexpr std::string_view OS_ERROR = "(os error ";
  const auto at = detail.rfind(OS_ERROR);
  if (at == std::string_view::npos || !detail.ends_with(')')) return {};
  const std::string_view number = detail.substr(at + OS_ERROR.size(), detail.size() - at - OS_ERROR.size() - 1);
  if (number.empty() || !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return {};
  return "os error " + std::string(number);
}

std::string request_event(std::string_view type, const messages::HandlerResult& outcome,
                          std::chrono::steady_clock::duration elapsed) {
  std::string out;
  out.reserve(64);
  out += "request type=";
  out += type.empty() ? std::string_view("(unknown)") : type;
  if (outcome) {
    out += " ok";
  } else {
    out += " error=";
    out += outcome.error().code;
    // Only the details that carry the system's words are kept; the others may echo
    // the request or the settings.
    const bool system_words = outcome.error().code == messages::error_code::IO_ERROR ||
                              outcome.error().code == messages::error_code::LAUNCH_FAILED;
    if (system_words && outcome.error().detail) {
      if (const auto detail = loggable_detail(*outcome.error().detail); !detail.empty())
        out += " detail=[" + detail + "]";
    }
  }
  const auto us = std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
  out += " ms=";
  append_number(out, static_cast<std::uint64_t>(us / 1000));
  out += '.';
  append_number(out, static_cast<std::uint64_t>(us % 1000), 3);
  return out;
}

std::string end_event(messages::ChannelEnd end) {
  using messages::ChannelEnd;
  std::string out = "end reason=";
  switch (end) {
    case ChannelEnd::InputClosed: out += "input_ended"; break;
    case ChannelEnd::ReadFailed: out += "read_failed"; break;
    case ChannelEnd::MessageTooLarge: out += "frame_too_large"; break;
    case ChannelEnd::ReplyTooLarge: out += "reply_too_large"; break;
    case ChannelEnd::WriteFailed: out += "write_failed"; break;
  }
  out += " exit=" + std::to_string(messages::exit_code(end));
  return out;
}

std::string launch_event(std::string_view kind, const platform::Result<void>& outcome) {
  std::string out = "launch kind=";
  out += kind;
  if (outcome) return out + " ok";
  out += " failed";
  if (const auto detail = loggable_detail(outcome.error().text()); !detail.empty()) out += " detail=[" + detail + "]";
  return out;
}

void ChannelLog::before_frame() {
  // The first call comes before any reply: start-up writes nothing.
  if (!replied_) {
    replied_ = true;
    return;
  }
  if (log_.due()) log_.flush();
}

void ChannelLog::rejected_frame() {
  log_.add(request_event("(invalid)", std::unexpected(messages::HostError::invalid_request()), {}), true);
}

}  // namespace tessiva::app
