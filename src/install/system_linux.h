#pragma once
/// What the Linux flows share about the running user's home installation.

#include <optional>

#include "install/home_install.h"

namespace tessiva::install {

/// The home layout of the running user, from the real environment.
[[nodiscard]] std::optional<HomeLayout> current_home_layout();

}  // namespace tessiva::install
