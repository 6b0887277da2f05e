#include "open/launcher.h"

#include "platform/process.h"
#include "platform/shell.h"
#include "text/overloaded.h"
#include "text/quote.h"
#include "text/unicode.h"

namespace tessiva::open {
namespace {

constexpr std::string_view FILE_TOKEN = "{file}";

}  // namespace

std::expected<void, std::string> spawn_launcher_with(const SpawnDetached& spawn, const std::string& executable,
                                                     const LaunchJob& job) {
  const std::vector<std::string> arguments{std::string(LAUNCH_ARGUMENT), encode_job(job)};
  if (spawn(executable, arguments, LAUNCH_OPTIONS)) return {};
  auto second = spawn(executable, arguments, LAUNCH_OPTIONS_IN_JOB);
  if (second) return {};
  return std::unexpected(second.error().text());
}

std::expected<void, std::string> spawn_launcher(const LaunchJob& job) {
  const auto executable = platform::executable_path();
  if (!executable) return std::unexpected(executable.error().text());
  return spawn_launcher_with(platform::spawn_detached, *executable, job);
}

std::string app_argument_text(std::string_view args, std::string_view file) {
  const std::string quoted = text::quote_path(file);
  if (args.find(FILE_TOKEN) != std::string_view::npos) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = args.find(FILE_TOKEN, from)) != std::string_view::npos; from = at + FILE_TOKEN.size()) {
      out.append(args.substr(from, at - from));
      out += quoted;
    }
    out.append(args.substr(from));
    return out;
  }
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

int run_launch_job(std::string_view job_hex) {
  const auto job = decode_job(job_hex);
  if (!job) return 1;
  const platform::Result<void> outcome = std::visit(
      Overloaded{
          [&](const Launch::App& app) {
            return platform::start_application(app.exe,
                                               app_command_line(app.exe, app_argument_text(app.args, job->file)));
          },
          [&](const Launch::Handler& handler) {
            return platform::invoke_handler(handler.ext, handler.handler_id, job->file);
          },
          [&](const Launch::Reveal&) { return platform::reveal_in_explorer(job->file); },
      },
      static_cast<const Launch::variant&>(job->launch));
  return outcome ? 0 : 1;
}

}  // namespace tessiva::open
