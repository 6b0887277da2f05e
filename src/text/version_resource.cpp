#include "text/version_resource.h"

#include "text/unicode.h"
#include "text/utf.h"

namespace tessiva::text {

std::u16string description_query(std::uint16_t language, std::uint16_t code_page) {
  constexpr char16_t DIGITS[] = u"0123456789abcdef";
  std::u16string query = u"\\StringFileInfo\\";
  for (const std::uint16_t value : {language, code_page}) {
    for (int shift = 12; shift >= 0; shift -= 4) query += DIGITS[(value >> shift) & 0xF];
  }
  query += u"\\FileDescription";
  return query;
}

std::string description_text(std::u16string_view units) {
  if (const auto nul = units.find(u'\0'); nul != std::u16string_view::npos) units = units.substr(0, nul);
  const std::string decoded = utf16_to_utf8_lossy(units);
  return std::string(trim_white_space(decoded));
}

}  // namespace tessiva::text
