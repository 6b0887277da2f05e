#include "text/command_line.h"

#include "text/utf.h"

namespace tessiva::text {
namespace {

template <class Char>
constexpr bool is_blank(Char c) noexcept {
  return c == Char(' ') || c == Char('\t');
}

}  // namespace

template <class Char>
std::vector<std::basic_string<Char>> split_windows_command_line(std::basic_string_view<Char> line) {
  constexpr Char QUOTE('"'), BACKSLASH('\\');
  std::vector<std::basic_string<Char>> out;
  if (line.empty()) return out;

  std::size_t i = 0;
  std::basic_string<Char> current;
  bool quoted = false;
  for (; i < line.size() && (quoted || !is_blank(line[i])); ++i) {
    if (line[i] == QUOTE)
      quoted = !quoted;
    else
      current.push_back(line[i]);
  }
  out.push_back(std::move(current));

  while (true) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i >= line.size()) break;
    current.clear();
    quoted = false;
    while (i < line.size() && (quoted || !is_blank(line[i]))) {
      if (line[i] == BACKSLASH) {
        std::size_t n = 0;
        while (i < line.size() && line[i] == BACKSLASH) ++n, ++i;
        if (i < line.size() && line[i] == QUOTE) {
          current.append(n / 2, BACKSLASH);
          if (n % 2 == 1) {
            current.push_back(QUOTE);
            ++i;
          }
          // With an even count the quote is handled as a delimiter on the next turn.
        } else {
          current.append(n, BACKSLASH);
        }
        continue;
      }
      if (line[i] == QUOTE) {
        if (quoted && i + 1 < line.size() && line[i + 1] == QUOTE) {
          current.push_back(QUOTE);
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      current.push_back(line[i++]);
    }
    out.push_back(std::move(current));
  }
  return out;
}

template std::vector<std::string> split_windows_command_line(std::string_view);
template std::vector<std::u16string> split_windows_command_line(std::u16string_view);

std::vector<std::string> split_windows_command_line_utf8(std::u16string_view line) {
  std::vector<std::string> out;
  for (const auto& argument : split_windows_command_line(line)) out.push_back(utf16_to_utf8_lossy(argument));
  return out;
}

}  // namespace tessiva::text
