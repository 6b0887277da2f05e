#include "text/windows_path.h"

namespace tessiva::text {
namespace {

constexpr bool is_separator(char c) noexcept { return c == '\\' || c == '/'; }

constexpr bool is_ascii_letter(char c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

/// Length of the path component at the start of `s` (up to the next separator).
std::size_t component_length(std::string_view s) noexcept {
  std::size_t n = 0;
  while (n < s.size() && !is_separator(s[n])) ++n;
  return n;
}

}  // namespace

bool is_absolute_windows_path(std::string_view path) noexcept {
  if (path.size() >= 3 && is_ascii_letter(path[0]) && path[1] == ':' && is_separator(path[2])) return true;
  if (path.size() < 2 || !is_separator(path[0]) || !is_separator(path[1])) return false;
  std::string_view rest = path.substr(2);
  if (rest.size() >= 2 && (rest[0] == '?' || rest[0] == '.') && is_separator(rest[1])) return true;
  const std::size_t server = component_length(rest);
  if (server == 0 || server == rest.size()) return false;
  rest.remove_prefix(server + 1);
  return component_length(rest) > 0;
}

}  // namespace tessiva::text
