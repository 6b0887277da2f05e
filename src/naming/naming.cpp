#include "naming/naming.h"

#include <array>
#include <string>

#include "text/unicode.h"
#include "text/utf.h"

namespace tessiva::naming {
namespace {

/// Characters that Windows refuses in file names, C0 and C1 controls and DEL.
constexpr bool is_forbidden(char32_t c) noexcept {
  if (c <= 0x1F || (c >= 0x7F && c <= 0x9F)) return true;
  switch (c) {
    case U'"': case U'*': case U'/': case U':': case U'<':
    case U'>': case U'?': case U'\\': case U'|':
      return true;
    default:
      return false;
  }
}

constexpr char32_t ascii_upper(char32_t c) noexcept { return c >= U'a' && c <= U'z' ? c - 0x20 : c; }

bool equals_ascii_nocase(std::u32string_view text, std::u32string_view upper) noexcept {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (ascii_upper(text[i]) != upper[i]) return false;
  }
  return true;
}

bool is_reserved(std::u32string_view text) noexcept {
  auto part = text.substr(0, text.find(U'.'));
  // Windows ignores spaces between a device name and its extension: 'nul .txt' is NUL.
  while (!part.empty() && part.back() == U' ') part.remove_suffix(1);
  static constexpr std::array<std::u32string_view, 6> WHOLE = {U"CON", U"PRN", U"AUX", U"NUL", U"CONIN$",
                                                              U"CONOUT$"};
  for (const auto name : WHOLE) {
    if (equals_ascii_nocase(part, name)) return true;
  }
  if (part.size() != 4) return false;
  const char32_t digit = part[3];
  const bool is_digit = (digit >= U'0' && digit <= U'9') || digit == U'\u00B9' || digit == U'\u00B2' || digit == U'\u00B3';
  return is_digit && (equals_ascii_nocase(part.substr(0, 3), U"COM") || equals_ascii_nocase(part.substr(0, 3), U"LPT"));
}

void trim_trailing_spaces_and_stops(std::u32string& s) {
  while (!s.empty() && (s.back() == U' ' || s.back() == U'.')) s.pop_back();
}

/// How many units of `measure` the character `c` takes.
constexpr std::size_t unit_count(char32_t c, platform::NameMeasure measure) noexcept {
  if (measure == platform::NameMeasure::Utf16Units) return c > 0xFFFF ? 2 : 1;
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

std::size_t units(std::u32string_view s, platform::NameMeasure measure) noexcept {
  std::size_t n = 0;
  for (const char32_t c : s) n += unit_count(c, measure);
  return n;
}

/// Cuts `s` to at most `limit` units of `measure` without splitting a character.
void cut_to_units(std::u32string& s, std::size_t limit, platform::NameMeasure measure) {
  std::size_t n = 0, keep = 0;
  for (; keep < s.size(); ++keep) {
    n += unit_count(s[keep], measure);
    if (n > limit) break;
  }
  s.resize(keep);
}

/// The last step of a whole file name: only what Windows needs to store the name as
/// given. A cut can leave spaces or full stops at the end, which Windows would silently
/// drop, and a cut inside the part before the first full stop can leave a device name
/// followed by spaces ('CON' and 147 spaces). Everything else the cuts left stays.
std::string finish_file_name(std::u32string name, platform::NameMeasure measure) {
  trim_trailing_spaces_and_stops(name);
  // Only a name without extension can come out empty: an extension never starts with a
  // space or a full stop.
  if (name.empty()) return "file";
  if (is_reserved(name)) {
    name.insert(0, 1, U'_');
    // The part before the first full stop is then a device name and the spaces the cut
    // left after it, so a name that the '_' takes past the limit gives up one of them.
    if (units(name, measure) > MAX_FILE_NAME_UNITS) {
      const auto dot = name.find(U'.');
      if (dot != std::u32string::npos && dot > 1) name.erase(dot - 1, 1);
    }
  }
  return text::utf32_to_utf8_lossy(name);
}

std::string ascii_lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  }
  return s;
}

std::string replace_all(std::string_view text, std::string_view token, std::string_view value) {
  std::string out;
  std::size_t from = 0;
  for (auto at = text.find(token); at != std::string_view::npos; at = text.find(token, from)) {
    out.append(text, from, at - from).append(value);
    from = at + token.size();
  }
  out.append(text, from);
  return out;
}

std::string zero_padded(int value, std::size_t width) {
  const bool negative = value < 0;
  std::string digits = std::to_string(negative ? -static_cast<long long>(value) : static_cast<long long>(value));
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return negative ? "-" + digits : digits;
}

}  // namespace

SplitName split_name(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {std::string(name), std::nullopt};
  return {std::string(name.substr(0, dot)), std::string(name.substr(dot + 1))};
}

std::string sanitize_component(std::string_view text) {
  std::u32string s = text::utf8_to_utf32_lossy(text);
  for (char32_t& c : s) {
    if (is_forbidden(c)) c = U'_';
  }
  trim_trailing_spaces_and_stops(s);
  std::size_t start = 0;
  while (start < s.size() && text::is_white_space(s[start])) ++start;
  s.erase(0, start);
  if (is_reserved(s)) s.insert(0, 1, U'_');
  // Nothing is trimmed after the cut: a piece is only part of a name, and what the whole
  // name needs at its end is done once it is put together.
  if (s.size() > MAX_COMPONENT_CHARS) s.resize(MAX_COMPONENT_CHARS);
  return text::utf32_to_utf8_lossy(s);
}

std::string extension_key(std::string_view original_name) {
  auto extension = split_name(original_name).extension;
  return extension ? ascii_lower(std::move(*extension)) : std::string();
}

std::string build_file_name(std::string_view original_name, std::string_view pattern,
                            const platform::LocalTime& local_time) {
  return build_file_name(original_name, pattern, local_time, platform::native_name_measure());
}

std::string build_file_name(std::string_view original_name, std::string_view pattern,
                            const platform::LocalTime& local_time, platform::NameMeasure measure) {
  const SplitName parts = split_name(original_name);
  std::string name = sanitize_component(parts.stem);
  if (name.empty()) name = "file";

  const std::string date = zero_padded(local_time.year, 4) + "-" + zero_padded(local_time.month, 2) + "-" +
                           zero_padded(local_time.day, 2);
  const std::string time = zero_padded(local_time.hour, 2) + "-" + zero_padded(local_time.minute, 2) + "-" +
                           zero_padded(local_time.second, 2);
  // Three whole passes in this order: a "{date}" or "{time}" inside the name is expanded too.
  const std::string expanded =
      replace_all(replace_all(replace_all(pattern, "{name}", name), "{date}", date), "{time}", time);

  std::string base = sanitize_component(expanded);
  if (base.empty()) base = std::move(name);
  std::string extension = parts.extension ? ascii_lower(sanitize_component(*parts.extension)) : std::string();

  // Both pieces within their cut can still make a name the system refuses (150 emoji
  // are 300 UTF-16 units and 600 UTF-8 bytes), and then the file could not be saved at all.
  std::u32string base32 = text::utf8_to_utf32_lossy(base), extension32 = text::utf8_to_utf32_lossy(extension);
  const std::size_t dot = extension.empty() ? 0 : 1;
  if (units(base32, measure) + dot + units(extension32, measure) > MAX_FILE_NAME_UNITS) {
    // The extension keeps what it can while leaving room for a base of a few
    // characters; the base takes the rest.
    constexpr std::size_t MIN_BASE_UNITS = 8;
    if (dot + units(extension32, measure) > MAX_FILE_NAME_UNITS - MIN_BASE_UNITS) {
      cut_to_units(extension32, MAX_FILE_NAME_UNITS - MIN_BASE_UNITS - dot, measure);
    }
    cut_to_units(base32, MAX_FILE_NAME_UNITS - dot - units(extension32, measure), measure);
  }
  if (dot != 0) base32.append(1, U'.').append(extension32);
  return finish_file_name(std::move(base32), measure);
}

std::string candidate_name(std::string_view file_name, int attempt) {
  if (attempt <= 1) return std::string(file_name);
  const SplitName parts = split_name(file_name);
  std::string out = parts.stem + "_" + std::to_string(attempt);
  if (parts.extension) out += "." + *parts.extension;
  return out;
}

}  // namespace tessiva::naming
