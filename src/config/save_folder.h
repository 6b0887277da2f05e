#pragma once
/// The folder that saved files go into.

#include <optional>
#include <string>

#include "config/config.h"

namespace tessiva::config {

/// `save_folder` exactly as stored when it is set and not blank; else the folder
/// "Tessiva" in the user's Documents; none when Documents cannot be found. Only
/// computes the path: nothing is created or checked.
[[nodiscard]] std::optional<std::string> effective_save_folder(const Config& config);

}  // namespace tessiva::config
