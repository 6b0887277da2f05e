// Fuzz target for the POSIX-shell splitter of an application's arguments. Checks that
// nothing crashes, that quoting the words again in single quotes gives the same words
// back, and that the saved file's path lands in the argument vector whole.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "open/launcher.h"
#include "text/argument_words.h"

namespace {

/// `word` in single quotes, each single quote in it written as '\''.
std::string single_quoted(const std::string& word) {
  std::string out = "'";
  for (const char c : word) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  out += '\'';
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto words = tessiva::text::split_argument_words(text);
  if (!words) return 0;

  std::string again;
  for (const auto& word : *words) {
    if (!again.empty()) again += ' ';
    again += single_quoted(word);
  }
  if (tessiva::text::split_argument_words(again) != words) std::abort();

  // A path with every kind of character the splitter treats specially stays one
  // argument, byte for byte.
  constexpr std::string_view FILE = "/tmp/a b/'q\" $HOME \\ {file}.txt";
  const auto arguments = tessiva::open::app_argument_vector(text, FILE);
  if (!arguments) std::abort();  // the text was split above, so it splits here too
  bool found = false;
  for (const auto& argument : *arguments) found = found || argument.find(FILE) != std::string::npos;
  if (!found) std::abort();
  return 0;
}
