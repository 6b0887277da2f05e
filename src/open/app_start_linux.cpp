#include "open/app_start.h"

#include "open/launcher.h"
#include "platform/linux/launch.h"

namespace tessiva::open {

platform::Result<void> start_application_on(const Launch::App& app, const std::string& file) {
  if (is_desktop_entry(app.exe)) return platform::launch_desktop_entry(app.exe, file);
  auto arguments = app_argument_vector(app.args, file);
  // Settings are checked when they are stored and loaded, so only a job made by hand
  // gets here with arguments that cannot be split.
  if (!arguments) return std::unexpected(platform::OsError{0, "the application's arguments cannot be split"});
  return platform::start_application_with_arguments(app.exe, *arguments);
}

}  // namespace tessiva::open
