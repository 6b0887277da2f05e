#include "open/launcher.h"

#include "open/app_start.h"
#include "platform/launch.h"
#include "platform/process.h"
#include "text/argument_words.h"
#include "text/quote.h"
#include "text/unicode.h"
#include "text/visit.h"

namespace tessiva::open {
namespace {

constexpr std::string_view FILE_TOKEN = "{file}";

std::string replace_file_token(std::string_view text, std::string_view value) {
  std::string out;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(FILE_TOKEN, from)) != std::string_view::npos; from = at + FILE_TOKEN.size()) {
    out.append(text.substr(from, at - from));
    out += value;
  }
  out.append(text.substr(from));
  return out;
}

}  // namespace

std::expected<void, std::string> spawn_launcher_with(const SpawnSelf& spawn, const LaunchJob& job) {
  const std::vector<std::string> arguments{std::string(LAUNCH_ARGUMENT), encode_job(job)};
  if (spawn(arguments, LAUNCH_OPTIONS)) return {};
  auto second = spawn(arguments, LAUNCH_OPTIONS_IN_JOB);
  if (second) return {};
  return std::unexpected(second.error().text());
}

std::expected<void, std::string> spawn_launcher(const LaunchJob& job) {
  return spawn_launcher_with(platform::spawn_self_detached, job);
}

std::string app_argument_text(std::string_view args, std::string_view file) {
  const std::string quoted = text::quote_path(file);
  if (args.find(FILE_TOKEN) != std::string_view::npos) return replace_file_token(args, quoted);
  const std::string_view trimmed = text::trim_white_space(args);
  if (trimmed.empty()) return quoted;
  std::string out(trimmed);
  out += ' ';
  out += quoted;
  return out;
}

std::string app_command_line(std::string_view exe, std::string_view argument_text) {
  std::string line = text::quote_path(exe);
  line += ' ';
  line.append(argument_text);
  return line;
}

std::optional<std::vector<std::string>> app_argument_vector(std::string_view args, std::string_view file) {
  auto words = text::split_argument_words(args);
  if (!words) return std::nullopt;
  bool placed = false;
  for (auto& word : *words) {
    if (word.find(FILE_TOKEN) == std::string::npos) continue;
    word = replace_file_token(word, file);
    placed = true;
  }
  if (!placed) words->emplace_back(file);
  return words;
}

bool is_desktop_entry(std::string_view exe) noexcept { return exe.ends_with(".desktop"); }

int run_launch_job(std::string_view job_hex, const LaunchReport& report) {
  const auto job = decode_job(job_hex);
  if (!job) {
    if (report) report("malformed", std::unexpected(platform::OsError{0, "the job cannot be read"}));
    return 1;
  }
  const platform::Result<void> outcome = std::visit(
      Overloaded{
          [&](const Launch::App& app) { return start_application_on(app, job->file); },
          [&](const Launch::Handler& handler) {
            return platform::invoke_handler(handler.ext, handler.handler_id, job->file);
          },
          [&](const Launch::Reveal&) { return platform::reveal_in_file_manager(job->file); },
      },
      static_cast<const Launch::variant&>(job->launch));
  if (report) {
    constexpr std::string_view KINDS[] = {"app", "handler", "reveal"};
    report(KINDS[job->launch.index()], outcome);
  }
  return outcome ? 0 : 1;
}

}  // namespace tessiva::open
