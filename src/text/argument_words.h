#pragma once
/// Splitting text into arguments by the quoting rules of the POSIX shell.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessiva::text {

/// Splits `text` into words as the POSIX shell quotes them, and nothing more: blanks
/// (space, tab, line feed) outside quotes separate words; inside single quotes every
/// byte is itself; inside double quotes a backslash keeps its meaning only before '$',
/// '`', '"', '\' and a line feed; outside quotes a backslash takes the next byte as it
/// is (a backslash and a line feed vanish). Quotes join what they hold to the word
/// around them, and an empty pair is an empty word. No expansion of any kind: '$', '`',
/// '*', '~' and the like are plain bytes. None when a quote is not closed or the text
/// ends in an unquoted backslash.
[[nodiscard]] std::optional<std::vector<std::string>> split_argument_words(std::string_view text);

}  // namespace tessiva::text
