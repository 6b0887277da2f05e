#include "main/program.h"

#include "install/check.h"
#include "install/system.h"
#include "main/command_line.h"
#include "main/dispatch.h"
#include "messages/channel.h"
#include "open/launcher.h"
#include "platform/process.h"
#include "text/overloaded.h"

namespace tessiva::app {
namespace {

int run_host(HostState& state) {
  messages::StdinSource input;
  messages::StdoutSink output;
  const auto end = messages::run_channel(input, output, [&](messages::Request& request) {
    return dispatch(state, request);
  });
  // However the loop ended, no partial file of an unfinished transfer may stay behind.
  state.transfers.close_all();
  return messages::exit_code(end);
}

std::vector<std::string> arguments() {
  auto args = platform::arguments();
  if (args.empty()) args.push_back(platform::executable_path().value_or(""));
  return args;
}

}  // namespace

int run_program() {
  return std::visit(Overloaded{
                        [](const NativeMessagingMode& mode) {
                          HostState state;
                          state.parent_window = mode.parent_window;
                          state.caller = caller_family(arguments());
                          return run_host(state);
                        },
                        [](const LaunchMode& mode) { return mode.job ? open::run_launch_job(*mode.job) : 1; },
                        [](const CheckMode& mode) { return install::check_for_user(mode.json); },
                        [](const UninstallMode& mode) { return install::uninstall_for_user(mode.quiet); },
                        [](const InstallMode& mode) { return install::install_for_user(mode.quiet); },
                    },
                    select_mode(arguments()));
}

}  // namespace tessiva::app
