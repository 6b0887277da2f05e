#pragma once
/// Splitting Windows command lines: the program's own command line on Windows.

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

/// Splits a UTF-16 command line by the same rules into UTF-8 arguments (an unpaired
/// surrogate becomes U+FFFD). Returns an empty list for an empty line.
[[nodiscard]] std::vector<std::string> split_windows_command_line_utf8(std::u16string_view line);

}  // namespace tessiva::text
