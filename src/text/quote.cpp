#include "text/quote.h"

namespace tessiva::text {

void append_quoted_argument(std::u16string& command_line, std::u16string_view argument) {
  if (!command_line.empty()) command_line.push_back(u' ');
  if (!argument.empty() && argument.find_first_of(u" \t\"") == std::u16string_view::npos) {
    command_line.append(argument);
    return;
  }
  command_line.push_back(u'"');
  std::size_t backslashes = 0;
  for (char16_t c : argument) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    if (c == u'"') backslashes = backslashes * 2 + 1;
    command_line.append(backslashes, u'\\');
    backslashes = 0;
    command_line.push_back(c);
  }
  // Backslashes before the closing quote are doubled so that it stays a delimiter.
  command_line.append(backslashes * 2, u'\\');
  command_line.push_back(u'"');
}

std::string quote_path(std::string_view path) {
  std::string out;
  out.reserve(path.size() + 2);
  out.push_back('"');
  out.append(path);
  out.push_back('"');
  return out;
}

}  // namespace tessiva::text
