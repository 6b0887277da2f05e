#pragma once
/// Reading the XDG user-dirs configuration ($XDG_CONFIG_HOME/user-dirs.dirs).

#include <optional>
#include <string>
#include <string_view>

namespace tessiva::platform {

/// The documents folder that one line of user-dirs.dirs sets: XDG_DOCUMENTS_DIR="..."
/// with "$HOME/..." (HOME taken from the environment) or an absolute path. None for any
/// other line, a value of another form, an unclosed quote, or "$HOME" without HOME.
[[nodiscard]] std::optional<std::string> documents_from_user_dirs_line(std::string_view line);

}  // namespace tessiva::platform
