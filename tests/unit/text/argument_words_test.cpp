#include "text/argument_words.h"

#include <gtest/gtest.h>

namespace tessiva::text {
namespace {

using Words = std::vector<std::string>;

TEST(SplitShellWords, BlanksSeparateAndQuotesJoin) {
  const std::pair<std::string_view, Words> cases[] = {
      {"", {}},
      {" \t ", {}},
      {"a b", {"a", "b"}},
      {"  a\t\tb  ", {"a", "b"}},
      {"'a b' c", {"a b", "c"}},
      {"\"a b\" c", {"a b", "c"}},
      {"x'a b'y\"c d\"z", {"xa byc dz"}},
      {"'' \"\" a", {"", "", "a"}},
      {"--opt=''", {"--opt="}},
      {"\"\xc3\xa9t\xc3\xa9 \xe2\x82\xac\"", {"\xc3\xa9t\xc3\xa9 \xe2\x82\xac"}},
  };
  for (const auto& [text, words] : cases) EXPECT_EQ(split_argument_words(text), words) << text;
}

TEST(SplitShellWords, BackslashesAndQuotesFollowTheShell) {
  const std::pair<std::string_view, Words> cases[] = {
      // Outside quotes a backslash takes the next byte as it is.
      {"a\\ b", {"a b"}},
      {"\\'x\\\"", {"'x\""}},
      {"\\\\", {"\\"}},
      {"\\$HOME", {"$HOME"}},
      // Inside single quotes nothing is special, not even a backslash.
      {"'a\\b' 'c\\'", {"a\\b", "c\\"}},
      {"'say \"hi\"'", {"say \"hi\""}},
      // Inside double quotes a backslash escapes only $ ` " \ and keeps itself before others.
      {"\"a\\\"b\"", {"a\"b"}},
      {"\"\\$x \\` \\\\ \\n\"", {"$x ` \\ \\n"}},
      {"\"it's\"", {"it's"}},
  };
  for (const auto& [text, words] : cases) EXPECT_EQ(split_argument_words(text), words) << text;
}

TEST(SplitShellWords, ExpandsNothing) {
  EXPECT_EQ(split_argument_words("$HOME ~ *.txt `id` $(id) a;b a|b {file} ${x}"),
            (Words{"$HOME", "~", "*.txt", "`id`", "$(id)", "a;b", "a|b", "{file}", "${x}"}));
}

TEST(SplitShellWords, RefusesWhatCannotBeSplit) {
  for (const std::string_view text : {"'open", "\"open", "a 'b\" c", "\"a\\\"", "end\\", "x \"'\" 'y"}) {
    EXPECT_EQ(split_argument_words(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace tessiva::text
