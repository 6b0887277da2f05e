#include "text/paths.h"

namespace tessiva::text {
namespace {

constexpr bool is_separator(char c, PathStyle style) noexcept {
  return c == '/' || (style == PathStyle::Windows && c == '\\');
}

constexpr bool is_windows_separator(char c) noexcept { return is_separator(c, PathStyle::Windows); }

constexpr char fold(char c, PathStyle style) noexcept {
  if (style == PathStyle::Windows && c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  return c;
}

bool same_text(std::string_view a, std::string_view b, PathStyle style) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const bool both_separators = is_separator(a[i], style) && is_separator(b[i], style);
    if (!both_separators && fold(a[i], style) != fold(b[i], style)) return false;
  }
  return true;
}

std::string_view without_trailing_separators(std::string_view path, PathStyle style) noexcept {
  while (path.size() > 1 && is_separator(path.back(), style)) path.remove_suffix(1);
  return path;
}

constexpr bool is_ascii_letter(char c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

/// Length of the path component at the start of `s` (up to the next separator).
std::size_t component_length(std::string_view s) noexcept {
  std::size_t n = 0;
  while (n < s.size() && !is_windows_separator(s[n])) ++n;
  return n;
}

}  // namespace

bool is_absolute_windows_path(std::string_view path) noexcept {
  if (path.size() >= 3 && is_ascii_letter(path[0]) && path[1] == ':' && is_windows_separator(path[2])) return true;
  if (path.size() < 2 || !is_windows_separator(path[0]) || !is_windows_separator(path[1])) return false;
  std::string_view rest = path.substr(2);
  if (rest.size() >= 2 && (rest[0] == '?' || rest[0] == '.') && is_windows_separator(rest[1])) return true;
  const std::size_t server = component_length(rest);
  if (server == 0 || server == rest.size()) return false;
  rest.remove_prefix(server + 1);
  return component_length(rest) > 0;
}

bool is_absolute_path(std::string_view path, PathStyle style) noexcept {
  return style == PathStyle::Windows ? is_absolute_windows_path(path) : path.starts_with('/');
}

bool path_is_inside(std::string_view path, std::string_view folder, PathStyle style) noexcept {
  folder = without_trailing_separators(folder, style);
  path = without_trailing_separators(path, style);
  if (folder.empty() || path.size() < folder.size()) return false;
  if (!same_text(path.substr(0, folder.size()), folder, style)) return false;
  std::string_view rest = path.substr(folder.size());
  // The next character must start a new component, unless the folder is a root that
  // already ends in a separator ("/", "C:\" is cut to "C:" above and needs one).
  if (!rest.empty() && !is_separator(folder.back(), style) && !is_separator(rest.front(), style)) return false;
  while (!rest.empty()) {
    while (!rest.empty() && is_separator(rest.front(), style)) rest.remove_prefix(1);
    std::size_t end = 0;
    while (end < rest.size() && !is_separator(rest[end], style)) ++end;
    const std::string_view component = rest.substr(0, end);
    if (component == "." || component == "..") return false;
    rest.remove_prefix(end);
  }
  return true;
}

namespace {

template <class Char>
std::size_t last_separator(std::basic_string_view<Char> path, PathStyle style) noexcept {
  constexpr Char SEPARATORS[] = {Char('/'), Char('\\')};
  return path.find_last_of(SEPARATORS, std::basic_string_view<Char>::npos, style == PathStyle::Windows ? 2 : 1);
}

template <class Char>
std::basic_string_view<Char> parent_of(std::basic_string_view<Char> path, PathStyle style) noexcept {
  const auto at = last_separator(path, style);
  if (at == path.npos) return {};
  std::basic_string_view<Char> parent = path.substr(0, at);
  if (parent.empty() || (style == PathStyle::Windows && parent.back() == Char(':'))) parent = path.substr(0, at + 1);
  return parent.size() == path.size() ? std::basic_string_view<Char>() : parent;
}

}  // namespace

std::string_view parent_folder(std::string_view path, PathStyle style) noexcept { return parent_of(path, style); }

std::wstring_view parent_folder(std::wstring_view path, PathStyle style) noexcept { return parent_of(path, style); }

std::string_view file_name(std::string_view path, PathStyle style) noexcept {
  const auto at = last_separator(path, style);
  return at == path.npos ? path : path.substr(at + 1);
}

std::string file_stem(std::string_view path, PathStyle style) {
  const std::string_view name = file_name(path, style);
  const auto dot = name.rfind('.');
  return std::string(dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot));
}

bool is_single_component(std::string_view name, PathStyle style) noexcept {
  using namespace std::string_view_literals;
  const std::string_view forbidden = style == PathStyle::Windows ? "/\\:\0"sv : "/\0"sv;
  return !name.empty() && name != "." && name != ".." && name.find_first_of(forbidden) == std::string_view::npos;
}

}  // namespace tessiva::text
