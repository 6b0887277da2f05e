#include "main/command_line.h"

#include <gtest/gtest.h>

#include "text/command_line.h"
#include "text/quote.h"
#include "text/utf.h"

namespace tessiva::app {
namespace {

using Args = std::vector<std::string>;

struct SplitCase {
  std::u16string line;
  Args expected;
};

TEST(SplitCommandLine, FollowsTheWindowsRules) {
  const SplitCase cases[] = {
      {u"", {}},
      {u"prog", {"prog"}},
      {u"prog a b", {"prog", "a", "b"}},
      {u"prog  \t a\t\tb  ", {"prog", "a", "b"}},
      // The program path: quotes only group, backslashes are literal.
      {u"\"C:\\Program Files\\t.exe\" x", {"C:\\Program Files\\t.exe", "x"}},
      {u"C:\\a\\\"b c\" d", {"C:\\a\\b c", "d"}},
      {u"\"C:\\dir\\\\\"x y", {"C:\\dir\\\\x", "y"}},
      // Quotes toggle; "" inside quotes is one quote; an empty pair is an empty argument.
      {u"p \"a b\" c", {"p", "a b", "c"}},
      {u"p a\"b c\"d", {"p", "ab cd"}},
      {u"p \"\"", {"p", ""}},
      {u"p \"a\"\"b\"", {"p", "a\"b"}},
      {u"p \"unterminated arg", {"p", "unterminated arg"}},
      // Backslashes: literal unless before a quote.
      {u"p a\\\\b", {"p", "a\\\\b"}},
      {u"p a\\\\\"b c\"", {"p", "a\\b c"}},
      {u"p a\\\"b", {"p", "a\"b"}},
      {u"p a\\\\\\\"b", {"p", "a\\\"b"}},
      {u"p \"C:\\dir\\\\\"", {"p", "C:\\dir\\"}},
      {u"p \\", {"p", "\\"}},
      // Non-ASCII survives as UTF-8.
      {u"p d\u00e9j\u00e0 \U0001F600", {"p", "d\xc3\xa9j\xc3\xa0", "\xf0\x9f\x98\x80"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text::split_windows_command_line_utf8(c.line), c.expected) << text::utf16_to_utf8_lossy(c.line);
  }
}

TEST(SplitCommandLine, GivesBackWhatQuotingBuilt) {
  const std::u16string args[] = {u"", u"plain", u"two words", u"tab\there", u"q\"uote", u"\\\"", u"end\\",
                                 u"C:\\Program Files\\", u"a\\\\b", u"\"\"", u"\\\\\"x\\\\"};
  std::u16string line = u"prog";
  Args expected{"prog"};
  for (const auto& a : args) {
    text::append_quoted_argument(line, a);
    expected.push_back(text::utf16_to_utf8_lossy(a));
  }
  EXPECT_EQ(text::split_windows_command_line_utf8(line), expected);
}

TEST(ParentWindow, AcceptsOnlySignedDecimalsInRange) {
  EXPECT_EQ(parse_parent_window("-5"), -5);
  EXPECT_EQ(parse_parent_window("+12"), 12);
  EXPECT_EQ(parse_parent_window("0012"), 12);
  EXPECT_EQ(parse_parent_window("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(parse_parent_window("-9223372036854775808"), INT64_MIN);
  for (const char* bad : {"", "+", "-", "0", "-0", "+0", "12ab", " 12", "12 ", "9223372036854775808",
                          "-9223372036854775809", "+-5", "--5", "0x10", "1.5"}) {
    EXPECT_EQ(parse_parent_window(bad), std::nullopt) << bad;
  }
}

TEST(SelectMode, NativeMessagingComesFirst) {
  EXPECT_EQ(select_mode({"t.exe", "chrome-extension://abc/"}), Mode(NativeMessagingMode{}));
  EXPECT_EQ(select_mode({"t.exe", "C:\\x\\manifest.json", "tessiva@orbelle.software"}), Mode(NativeMessagingMode{}));
  EXPECT_EQ(select_mode({"t.exe", "tessiva@orbelle.software"}), Mode(NativeMessagingMode{}));
  EXPECT_EQ(select_mode({"t.exe", "a.json", "--uninstall"}), Mode(NativeMessagingMode{}));
  EXPECT_EQ(select_mode({"t.exe", "--launch", "00", "chrome-extension://x/"}), Mode(NativeMessagingMode{}));
  // The program path is scanned too.
  EXPECT_EQ(select_mode({"C:\\odd.json"}), Mode(NativeMessagingMode{}));
  // Comparisons are exact.
  EXPECT_EQ(select_mode({"t.exe", "Chrome-extension://abc/"}), Mode(InstallMode{}));
  EXPECT_EQ(select_mode({"t.exe", "a.JSON"}), Mode(InstallMode{}));
  EXPECT_EQ(select_mode({"t.exe", "Tessiva@orbelle.software"}), Mode(InstallMode{}));
}

TEST(SelectMode, ReadsOnlyTheFirstParentWindow) {
  const auto parent = [](Args args) { return std::get<NativeMessagingMode>(select_mode(args)).parent_window; };
  EXPECT_EQ(parent({"t", "chrome-extension://x/", "--parent-window=0"}), std::nullopt);
  EXPECT_EQ(parent({"t", "chrome-extension://x/", "--parent-window=-5"}), -5);
  EXPECT_EQ(parent({"t", "--parent-window=77", "chrome-extension://x/"}), 77);
  EXPECT_EQ(parent({"t", "chrome-extension://x/", "--parent-window=12ab", "--parent-window=3"}), std::nullopt);
  EXPECT_EQ(parent({"t", "chrome-extension://x/", "--parent-window=3", "--parent-window=4"}), 3);
  EXPECT_EQ(parent({"t", "chrome-extension://x/", "--parent-window", "5"}), std::nullopt);
}

TEST(SelectMode, LaunchThenUninstallThenInstall) {
  EXPECT_EQ(select_mode({"t", "--launch", "abcd"}), Mode(LaunchMode{"abcd"}));
  EXPECT_EQ(select_mode({"t", "--launch", "ab", "--launch", "cd"}), Mode(LaunchMode{"ab"}));
  EXPECT_EQ(select_mode({"t", "--uninstall", "--launch"}), Mode(LaunchMode{}));
  EXPECT_EQ(select_mode({"t", "--launch", "--uninstall"}), Mode(LaunchMode{"--uninstall"}));
  EXPECT_EQ(select_mode({"t", "--uninstall"}), Mode(UninstallMode{false}));
  EXPECT_EQ(select_mode({"t", "--uninstall", "--quiet"}), Mode(UninstallMode{true}));
  EXPECT_EQ(select_mode({"t", "--quiet", "--uninstall"}), Mode(UninstallMode{true}));
  EXPECT_EQ(select_mode({"t"}), Mode(InstallMode{false}));
  EXPECT_EQ(select_mode({"t", "--quiet"}), Mode(InstallMode{true}));
  EXPECT_EQ(select_mode({"t", "--QUIET", "--Uninstall"}), Mode(InstallMode{false}));
  EXPECT_EQ(select_mode({"t", "--install", "--quiet", "--per-user"}), Mode(InstallMode{true, true}));
  EXPECT_EQ(select_mode({"t", "--per-user", "--uninstall"}), Mode(UninstallMode{false}));
  EXPECT_EQ(select_mode({"t", "--per-user"}, OptionRules::Strict), Mode(InstallMode{false, true}));
}

TEST(SelectMode, CheckAfterLaunchBeforeTheInstaller) {
  EXPECT_EQ(select_mode({"t", "--check"}), Mode(CheckMode{false}));
  EXPECT_EQ(select_mode({"t", "--json", "--check"}), Mode(CheckMode{true}));
  EXPECT_EQ(select_mode({"t", "--check", "--uninstall"}), Mode(CheckMode{false}));
  EXPECT_EQ(select_mode({"t", "--launch", "--check"}), Mode(LaunchMode{"--check"}));
  EXPECT_EQ(select_mode({"t", "--check", "chrome-extension://x/"}), Mode(NativeMessagingMode{}));
  EXPECT_EQ(select_mode({"t", "--json"}), Mode(InstallMode{false}));
}

TEST(SelectMode, StrictRulesAnswerHelpVersionAndRefuseUnknownOptions) {
  const auto strict = [](Args args) { return select_mode(args, OptionRules::Strict); };
  // A browser's arguments select the host whatever else the line holds.
  EXPECT_EQ(strict({"t", "chrome-extension://abc/", "--bogus"}), Mode(NativeMessagingMode{}));
  EXPECT_EQ(strict({"t", "--parent-window=7", "chrome-extension://abc/"}), Mode(NativeMessagingMode{7}));
  EXPECT_EQ(strict({"t", "/m/a.json", "tessiva@orbelle.software", "--help"}), Mode(NativeMessagingMode{}));
  EXPECT_EQ(strict({"t", "--check", "--help"}), Mode(HelpMode{}));
  EXPECT_EQ(strict({"t", "--version"}), Mode(VersionMode{}));
  EXPECT_EQ(strict({"t", "--version", "--uninstal"}), Mode(UsageErrorMode{"--uninstal"}));
  EXPECT_EQ(strict({"t", "--QUIET"}), Mode(UsageErrorMode{"--QUIET"}));
  EXPECT_EQ(strict({"t", "-"}), Mode(UsageErrorMode{"-"}));
  EXPECT_EQ(strict({"t", "--parent-window=7"}), Mode(UsageErrorMode{"--parent-window=7"}));
  // The job after "--launch" is never an option, and words without "-" are not read.
  EXPECT_EQ(strict({"t", "--launch", "--x"}), Mode(LaunchMode{"--x"}));
  EXPECT_EQ(strict({"t", "word", "--quiet"}), Mode(InstallMode{true}));
  EXPECT_EQ(strict({"t"}), Mode(InstallMode{false}));
  EXPECT_EQ(strict({"t", "--json", "--check"}), Mode(CheckMode{true}));
  // Lenient rules keep reading such lines as before.
  EXPECT_EQ(select_mode({"t", "--help"}), Mode(InstallMode{false}));
}

TEST(CallerFamily, FromTheArgumentsAfterTheProgram) {
  EXPECT_EQ(caller_family({"t", "chrome-extension://x/", "--parent-window=3"}), messages::BrowserFamily::Chromium);
  EXPECT_EQ(caller_family({"t", "/m/com.orbelle.tessiva.json", "tessiva@orbelle.software"}),
            messages::BrowserFamily::Firefox);
  EXPECT_EQ(caller_family({"/odd/tessiva.json"}), std::nullopt);
  EXPECT_EQ(caller_family({"t", "--check"}), std::nullopt);
}

}  // namespace
}  // namespace tessiva::app
