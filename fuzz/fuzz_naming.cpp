// Fuzz target for file naming: whatever name the browser reports and whatever the name
// pattern holds, the built file name must be one safe Windows file name.
//
// Input layout: 7 bytes of local time (the year as two bytes, then month, day, hour,
// minute and second, all signed), a spare byte, one byte giving the pattern's length, the
// pattern, and the rest as the reported name.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "naming/naming.h"
#include "text/unicode.h"
#include "text/utf.h"

namespace {

using tessiva::naming::MAX_COMPONENT_CHARS;

void check(bool ok) {
  if (!ok) std::abort();
}

/// Independent of the code under test: byte-level checks on UTF-8.
bool has_forbidden_character(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x20 || b == 0x7F) return true;
    if (std::string_view("\"*/:<>?\\|").find(static_cast<char>(b)) != std::string_view::npos) return true;
    // U+0080 to U+009F are encoded as C2 80 to C2 9F.
    if (b == 0xC2 && i + 1 < s.size()) {
      const auto next = static_cast<unsigned char>(s[i + 1]);
      if (next >= 0x80 && next <= 0x9F) return true;
    }
  }
  return false;
}

bool starts_with_device_name(std::string_view s) {
  std::string part(s.substr(0, s.find('.')));
  while (!part.empty() && part.back() == ' ') part.pop_back();
  for (char& c : part) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
  for (std::string_view name : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (part == name) return true;
  }
  const std::string_view head = std::string_view(part).substr(0, 3);
  if (head != "COM" && head != "LPT") return false;
  const std::string_view digit = std::string_view(part).substr(3);
  return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" || digit == "\xC2\xB2" ||
         digit == "\xC2\xB3";
}

/// What every name that reaches the file system must satisfy.
void check_safe_name(std::string_view name) {
  check(!name.empty());
  check(tessiva::text::is_valid_utf8(name));
  check(!has_forbidden_character(name));  // this covers both path separators
  check(!starts_with_device_name(name));
  check(name.back() != ' ' && name.back() != '.');  // this also rules out "." and ".."
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<int>(static_cast<std::int8_t>(data[i])); };
  const tessiva::platform::LocalTime time = {
      static_cast<std::int16_t>(data[0] | (data[1] << 8)), byte(2), byte(3), byte(4), byte(5), byte(6)};
  // data[7] is spare, so that the layout stays stable if a field is added.
  const std::size_t pattern_size = std::min<std::size_t>(data[8], size - 9);
  const std::string_view rest(reinterpret_cast<const char*>(data) + 9, size - 9);
  const std::string_view pattern = rest.substr(0, pattern_size);
  const std::string_view reported = rest.substr(pattern_size);

  const std::string file_name = tessiva::naming::build_file_name(reported, pattern, time);
  check_safe_name(file_name);
  // A base and an extension of at most MAX_COMPONENT_CHARS each, or the base alone.
  const std::size_t chars = tessiva::text::code_point_count(file_name);
  const bool has_extension = tessiva::naming::split_name(reported).extension.has_value();
  check(chars <= (has_extension ? 2 * MAX_COMPONENT_CHARS + 1 : MAX_COMPONENT_CHARS));

  // Windows takes at most 255 UTF-16 units, the last candidate included.
  check(tessiva::text::utf8_to_utf16_lossy(file_name).size() <= tessiva::naming::MAX_FILE_NAME_UNITS);
  for (const int attempt : {2, tessiva::naming::LAST_NAME_ATTEMPT}) {
    const std::string candidate = tessiva::naming::candidate_name(file_name, attempt);
    check_safe_name(candidate);
    check(tessiva::text::utf8_to_utf16_lossy(candidate).size() <= 255);
  }

  // Any piece on its own: within the cut and allowed to come out empty. A piece shorter
  // than the cut is a safe name; a cut one may still end in spaces or full stops, or be a
  // device name followed by spaces, which the whole name settles.
  for (const std::string_view piece : {reported, pattern}) {
    const std::string sanitized = tessiva::naming::sanitize_component(piece);
    const std::size_t sanitized_chars = tessiva::text::code_point_count(sanitized);
    check(sanitized_chars <= MAX_COMPONENT_CHARS);
    if (sanitized.empty()) continue;
    if (sanitized_chars < MAX_COMPONENT_CHARS) {
      check_safe_name(sanitized);
    } else {
      check(tessiva::text::is_valid_utf8(sanitized));
      check(!has_forbidden_character(sanitized));
    }
  }
  return 0;
}
