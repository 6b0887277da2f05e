#include "text/argument_words.h"

namespace tessiva::text {
namespace {

constexpr bool is_blank(char c) noexcept { return c == ' ' || c == '\t' || c == '\n'; }

/// The bytes that a backslash inside double quotes escapes.
constexpr bool is_special_in_double_quotes(char c) noexcept {
  return c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n';
}

}  // namespace

std::optional<std::vector<std::string>> split_argument_words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  // A word has begun even when it is still empty: '' and "" are words.
  bool in_word = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (is_blank(c)) {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else if (c == '\\') {
      if (++i == text.size()) return std::nullopt;
      if (text[i] == '\n') continue;  // a line continuation joins the lines
      word += text[i];
      in_word = true;
    } else if (c == '\'') {
      const auto close = text.find('\'', i + 1);
      if (close == std::string_view::npos) return std::nullopt;
      word.append(text.substr(i + 1, close - i - 1));
      i = close;
      in_word = true;
    } else if (c == '"') {
      for (++i;; ++i) {
        if (i == text.size()) return std::nullopt;
        if (text[i] == '"') break;
        if (text[i] == '\\' && i + 1 < text.size() && is_special_in_double_quotes(text[i + 1])) {
          ++i;
          if (text[i] == '\n') continue;
        }
        word += text[i];
      }
      in_word = true;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

}  // namespace tessiva::text
