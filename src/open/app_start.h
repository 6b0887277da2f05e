#pragma once
/// Starting the application of an "open with" job on its file, by the running
/// system's rules (app_start_windows.cpp, app_start_linux.cpp).

#include <string>

#include "open/launch_job.h"
#include "platform/os_error.h"

namespace tessiva::open {

/// Starts `app` on `file`: on Windows its quoted path and `app_argument_text` as one
/// command line; on Linux a desktop entry through the desktop with the arguments of its
/// Exec line, any other program with `app_argument_vector`.
[[nodiscard]] platform::Result<void> start_application_on(const Launch::App& app, const std::string& file);

}  // namespace tessiva::open
