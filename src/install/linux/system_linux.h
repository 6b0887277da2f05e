#pragma once
/// What the Linux flows share about the running user's home installation.

#include <optional>
#include <string>

#include "install/linux/home_install.h"

namespace tessiva::install {

/// The home layout of the running user, from the real environment.
[[nodiscard]] std::optional<HomeLayout> current_home_layout();

/// How fixes printed for the running user name the running program (`command_for_user`).
[[nodiscard]] std::string current_command();

}  // namespace tessiva::install
