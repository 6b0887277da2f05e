#pragma once
/// Building Windows command lines.

#include <string>
#include <string_view>

namespace tessiva::text {

/// Appends `argument` to `command_line` so that the usual Windows splitting rules give
/// it back unchanged: quoted when it is empty or holds a space, tab or quote, with
/// backslashes doubled only where they precede a quote. A separating space is added
/// first when `command_line` is not empty.
void append_quoted_argument(std::u16string& command_line, std::u16string_view argument);

/// `"` + `path` + `"`: the form of a program path or a file path on a command line
/// (paths cannot hold quotes, so nothing needs escaping).
[[nodiscard]] std::string quote_path(std::string_view path);

}  // namespace tessiva::text
