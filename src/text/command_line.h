#pragma once
/// Splitting Windows command lines, for the program's own command line (UTF-16) and for
/// the command lines of applications that the POSIX stand-in starts (UTF-8).

#include <string>
#include <string_view>
#include <vector>

namespace tessiva::text {

/// Splits `line` into arguments by the Windows rules. The first element is the program
/// path: it ends at the first space or tab outside double quotes, and quotes in it only
/// group. The rest follow the usual rules (quotes toggle, "" inside quotes is a quote,
/// 2n backslashes before a quote give n and the quote delimits, 2n+1 give n and a
/// literal quote, other backslashes are literal). Returns an empty list for an empty
/// line. Defined for `char` and `char16_t`.
template <class Char>
[[nodiscard]] std::vector<std::basic_string<Char>> split_windows_command_line(std::basic_string_view<Char> line);

}  // namespace tessiva::text
