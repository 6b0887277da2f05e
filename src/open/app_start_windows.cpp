#include "open/app_start.h"

#include "open/launcher.h"
#include "platform/windows/launch.h"

namespace tessiva::open {

platform::Result<void> start_application_on(const Launch::App& app, const std::string& file) {
  return platform::start_application(app.exe, app_command_line(app.exe, app_argument_text(app.args, file)));
}

}  // namespace tessiva::open
