#include "text/unicode.h"

namespace tessiva::text {
namespace {

constexpr bool is_continuation(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

/// Length in bytes of the white-space character that starts at `s[i]`, or 0 when the
/// character there is not white space (or is malformed). Every white-space character
/// is one to three bytes long.
std::size_t white_space_at(std::string_view s, std::size_t i) noexcept {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return is_white_space(b0) ? 1 : 0;
  if (b0 == 0xC2 && i + 1 < s.size()) {
    const auto b1 = static_cast<unsigned char>(s[i + 1]);
    return b1 == 0x85 || b1 == 0xA0 ? 2 : 0;
  }
  if ((b0 == 0xE1 || b0 == 0xE2 || b0 == 0xE3) && i + 2 < s.size()) {
    const auto b1 = static_cast<unsigned char>(s[i + 1]);
    const auto b2 = static_cast<unsigned char>(s[i + 2]);
    if (!is_continuation(b1) || !is_continuation(b2)) return 0;
    const char32_t c = ((b0 & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
    return is_white_space(c) ? 3 : 0;
  }
  return 0;
}

/// Length of the white-space character that ends just before `s[end]` and starts at
/// or after `s[floor]`, or 0.
std::size_t white_space_before(std::string_view s, std::size_t floor, std::size_t end) noexcept {
  std::size_t start = end - 1;
  while (start > floor && end - start < 3 && is_continuation(static_cast<unsigned char>(s[start]))) --start;
  const std::size_t n = white_space_at(s, start);
  return start + n == end ? n : 0;
}

}  // namespace

bool is_blank(std::string_view utf8) noexcept { return trim_white_space(utf8).empty(); }

std::size_t code_point_count(std::string_view utf8) noexcept {
  std::size_t n = 0;
  for (const char c : utf8) n += !is_continuation(static_cast<unsigned char>(c));
  return n;
}

std::string_view trim_white_space(std::string_view utf8) noexcept {
  std::size_t begin = 0, end = utf8.size();
  while (begin < end) {
    const std::size_t n = white_space_at(utf8, begin);
    if (n == 0) break;
    begin += n;
  }
  while (end > begin) {
    const std::size_t n = white_space_before(utf8, begin, end);
    if (n == 0) break;
    end -= n;
  }
  return utf8.substr(begin, end - begin);
}

}  // namespace tessiva::text
