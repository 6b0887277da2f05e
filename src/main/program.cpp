#include "main/program.h"

#include <chrono>

#include "check/check.h"
#include "install/system.h"
#include "main/command_line.h"
#include "main/dispatch.h"
#include "main/event_log.h"
#include "messages/channel.h"
#include "messages/version.h"
#include "open/launcher.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/process.h"
#include "text/visit.h"

namespace tessiva::app {
namespace {

/// The exit code of a command line that names an unknown option.
constexpr int USAGE_ERROR = 2;

int run_host(HostState& state, EventLog& log) {
  messages::StdinSource input;
  messages::StdoutSink output;
  ChannelLog observer(log);
  const auto end = messages::run_channel(
      input, output,
      [&](messages::Request& request) {
        const auto started = platform::steady_time_now();
        const std::string_view type = known_request_type(request.value);
        messages::Reply reply = dispatch(state, request);
        log.add(request_event(type, reply.outcome, platform::steady_time_now() - started), !reply.outcome);
        return reply;
      },
      &observer);
  // However the loop ended, no partial file of an unfinished transfer may stay behind.
  state.transfers.close_all();
  log.add(end_event(end));
  return messages::exit_code(end);
}

std::vector<std::string> arguments() {
  auto args = platform::arguments();
  if (args.empty()) args.push_back(platform::executable_path().value_or(""));
  return args;
}

}  // namespace

int run_program() {
  const auto args = arguments();
  return std::visit(Overloaded{
                        [&](const NativeMessagingMode& mode) {
                          EventLog log;
                          log.add(start_event("native_messaging", args, mode.parent_window.has_value()));
                          HostState state;
                          state.parent_window = mode.parent_window;
                          state.caller = caller_family(args);
                          return run_host(state, log);
                        },
                        [](const LaunchMode& mode) {
                          if (!mode.job) return 1;
                          EventLog log;
                          return open::run_launch_job(*mode.job, [&](std::string_view kind, const auto& outcome) {
                            log.add(launch_event(kind, outcome));
                          });
                        },
                        [](const CheckMode& mode) { return check::check_for_user(mode.json); },
                        [&](const UninstallMode& mode) {
                          return install::uninstall_for_user(mode.quiet, sandbox_ids(args));
                        },
                        [&](const InstallMode& mode) {
                          return install::install_for_user(mode.quiet, sandbox_ids(args), mode.per_user);
                        },
                        [](const HelpMode&) {
                          platform::write_standard_output(usage_text());
                          return 0;
                        },
                        [](const VersionMode&) {
                          platform::write_standard_output(std::string(messages::PRODUCT_NAME) + " " +
                                                          std::string(messages::HOST_VERSION) + "\n");
                          return 0;
                        },
                        [](const UsageErrorMode& mode) {
                          platform::write_standard_error("tessiva: unknown option \"" + mode.argument +
                                                         "\"; see \"tessiva --help\"\n");
                          return USAGE_ERROR;
                        },
                    },
                    select_mode(args, platform::STRICT_OPTIONS ? OptionRules::Strict : OptionRules::Lenient));
}

}  // namespace tessiva::app
