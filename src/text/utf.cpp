#include "text/utf.h"

#include <cstdint>
#include <cstring>

namespace tessiva::text {
namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

/// Decodes one code point at `s[i]`. Returns the code point and advances `i`; on an
/// ill-formed sequence returns none and advances `i` past the maximal ill-formed
/// subsequence (at least one byte), as Unicode recommends for replacement.
std::optional<char32_t> decode_one(std::string_view s, std::size_t& i) noexcept {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2; cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3; cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4; cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    ++i;
    return std::nullopt;
  }
  std::size_t j = i + 1;
  for (int k = 1; k < len; ++k, ++j) {
    if (j >= s.size()) {
      i = j;
      return std::nullopt;
    }
    const auto b = static_cast<unsigned char>(s[j]);
    const unsigned char min = k == 1 ? lo : 0x80, max = k == 1 ? hi : 0xBF;
    if (b < min || b > max) {
      i = j;
      return std::nullopt;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i = j;
  return cp;
}

constexpr bool is_scalar_value(char32_t cp) noexcept { return cp < 0xD800 || (cp > 0xDFFF && cp <= 0x10FFFF); }

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void append_utf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

template <bool Lossy>
std::optional<std::string> from_utf16(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t u = s[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      if constexpr (!Lossy) return std::nullopt;
      u = REPLACEMENT;
    }
    append_utf8(out, u);
  }
  return out;
}

template <bool Lossy>
std::optional<std::u16string> from_utf8(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto cp = decode_one(s, i);
    if (!cp) {
      if constexpr (!Lossy) return std::nullopt;
      out.push_back(static_cast<char16_t>(REPLACEMENT));
      continue;
    }
    append_utf16(out, *cp);
  }
  return out;
}

}  // namespace

bool is_valid_utf8(std::string_view s) noexcept {
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    // ASCII runs are by far the most common (base64 chunk data): skip them eight
    // bytes at a time.
    while (i + 8 <= n) {
      std::uint64_t w;
      std::memcpy(&w, s.data() + i, 8);
      if (w & 0x8080808080808080ULL) break;
      i += 8;
    }
    if (i >= n) break;
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    if (!decode_one(s, i)) return false;
  }
  return true;
}

std::optional<std::string> utf16_to_utf8(std::u16string_view s) { return from_utf16<false>(s); }

std::string utf16_to_utf8_lossy(std::u16string_view s) { return *from_utf16<true>(s); }

std::optional<std::u16string> utf8_to_utf16(std::string_view s) { return from_utf8<false>(s); }

std::u16string utf8_to_utf16_lossy(std::string_view s) { return *from_utf8<true>(s); }

std::u32string utf8_to_utf32_lossy(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) out.push_back(decode_one(s, i).value_or(REPLACEMENT));
  return out;
}

std::string utf32_to_utf8_lossy(std::u32string_view s) {
  std::string out;
  out.reserve(s.size());
  for (const char32_t cp : s) append_utf8(out, is_scalar_value(cp) ? cp : REPLACEMENT);
  return out;
}

}  // namespace tessiva::text
