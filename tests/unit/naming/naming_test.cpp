#include "naming/naming.h"

#include <gtest/gtest.h>

#include "text/utf.h"

#include <optional>
#include <string>
#include <vector>

namespace tessiva::naming {
namespace {

std::string repeat(std::string_view piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

constexpr platform::LocalTime MARCH_5 = {2024, 3, 5, 14, 7, 9};
constexpr std::string_view DEFAULT_PATTERN = "{name}_{date}_{time}";

TEST(NamingSplitName, SplitsAtTheLastInnerFullStop) {
  struct Case {
    std::string name, stem;
    std::optional<std::string> extension;
  };
  const std::vector<Case> cases = {
      {"archive.tar.gz", "archive.tar", "gz"},
      {"a.b", "a", "b"},
      {".bashrc", ".bashrc", std::nullopt},
      {"notes.", "notes.", std::nullopt},
      {"...", "...", std::nullopt},
      {"", "", std::nullopt},
      {"plain", "plain", std::nullopt},
      {"x.PDF ", "x", "PDF "},
      {"a/b", "a/b", std::nullopt},
      {"..\\..\\x", "..\\.", "\\x"},
      {"caf\xC3\xA9.d\xC3\xA9j\xC3\xA0", "caf\xC3\xA9", "d\xC3\xA9j\xC3\xA0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(split_name(c.name), (SplitName{c.stem, c.extension})) << c.name;
  }
}

TEST(NamingExtensionKey, LowerCasesOnlyAsciiAndKeepsEverythingElse) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Photo.JPG", "jpg"},
      {"archive.tar.gz", "gz"},
      {".bashrc", ""},
      {"notes.", ""},
      {"README", ""},
      {"", ""},
      {"x.PDF ", "pdf "},
      {"x.\xC3\x84" "B", "\xC3\x84" "b"},  // 'ÄB' gives 'Äb'
      {"x.c:M", "c:m"},
  };
  for (const auto& [name, key] : cases) EXPECT_EQ(extension_key(name), key) << name;
}

TEST(NamingSanitize, ReplacesForbiddenAndControlCharacters) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"plain name", "plain name"},
      {"a<b>c?", "a_b_c_"},
      {"\"*/:<>?\\|x", "_________x"},
      {std::string("a\0b", 3), "a_b"},
      {"a\x01" "b\x1F" "c\x7F" "d", "a_b_c_d"},
      {"a\xC2\x85" "b\xC2\x9F" "c", "a_b_c"},  // C1 controls take two bytes, give one '_'
      {"\tx", "_x"},                            // replaced before the leading white space goes
      {"{braces} & [more]; \xF0\x9F\x98\x80 \xE6\x97\xA5\xE6\x9C\xAC", "{braces} & [more]; \xF0\x9F\x98\x80 \xE6\x97\xA5\xE6\x9C\xAC"},
      {"bad\xFF" "byte", "bad\xEF\xBF\xBD" "byte"},  // malformed UTF-8 becomes U+FFFD
      {"a/b", "a_b"},
      {"..\\..\\x", ".._.._x"},
      {"../../etc/passwd", ".._.._etc_passwd"},
      {"C:\\Windows\\x", "C__Windows_x"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(sanitize_component(in), out) << in;
}

TEST(NamingSanitize, TrimsTheEndsAsEachSideRequires) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a. . .", "a"},
      {"  spaced ", "spaced"},
      {"...", ""},
      {" . ", ""},
      {"..", ""},
      {".", ""},
      {"/..", "_"},
      {".hidden", ".hidden"},
      {"\xE3\x80\x80\xC2\xA0x", "x"},       // U+3000 and U+00A0 lead
      {"x\xC2\xA0", "x\xC2\xA0"},            // white space other than U+0020 stays at the end
      {"a \xE2\x80\x83 b", "a \xE2\x80\x83 b"},  // and inside
      {"x.\xC2\xA0.", "x.\xC2\xA0"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(sanitize_component(in), out) << in;
}

TEST(NamingSanitize, PrefixesReservedDeviceNames) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"con.txt", "_con.txt"},
      {"CON", "_CON"},
      {"aux", "_aux"},
      {"Prn.tar.gz", "_Prn.tar.gz"},
      {"nUl", "_nUl"},
      {"Lpt1", "_Lpt1"},
      {"COM0", "_COM0"},
      {"com9.log", "_com9.log"},
      {"prn.", "_prn"},
      {"COM\xC2\xB9", "_COM\xC2\xB9"},  // superscript digits count as digits for Windows
      {"lpt\xC2\xB3.txt", "_lpt\xC2\xB3.txt"},
      {"conin$", "_conin$"},
      {"CONOUT$.log", "_CONOUT$.log"},
      {"nul .txt", "_nul .txt"},  // Windows ignores the spaces before the extension
      {"COM10", "COM10"},
      {"CONSOLE", "CONSOLE"},
      {"icon", "icon"},
      {"nul_x", "nul_x"},
      {"COMa", "COMa"},
      {"COM\xC2\xB4", "COM\xC2\xB4"},
      {".con", ".con"},
      {"x.con", "x.con"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(sanitize_component(in), out) << in;
}

TEST(NamingSanitize, CutsAtOneHundredFiftyCharactersNotBytes) {
  const std::string u_umlaut = "\xC3\xBC", emoji = "\xF0\x9F\x98\x80";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {repeat("a", 150), repeat("a", 150)},
      {repeat("a", 200), repeat("a", 150)},
      {repeat(u_umlaut, 151), repeat(u_umlaut, 150)},
      {repeat(emoji, 200), repeat(emoji, 150)},
      {repeat("a", 149) + "\xC3\xA9xyz", repeat("a", 149) + "\xC3\xA9"},
      {"   " + repeat("b", 160), repeat("b", 150)},
      {"con." + repeat("a", 200), "_con." + repeat("a", 145)},
      // Nothing is trimmed or prefixed after the cut: the piece is only part of a name.
      {repeat("a", 148) + " .b", repeat("a", 148) + " ."},
      {"CON" + repeat(" ", 147) + "x", "CON" + repeat(" ", 147)},
      {repeat(".", 200) + "x", repeat(".", 150)},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(sanitize_component(in), out) << in.substr(0, 20);
}

TEST(NamingBuildFileName, ExpandsThePatternAndKeepsTheNameSafe) {
  struct Case {
    std::string original;
    std::string_view pattern;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"Report Q1.PDF", "{name}_{date}_{time}", "Report Q1_2024-03-05_14-07-09.pdf"},
      {"", "{name}_{date}_{time}", "file_2024-03-05_14-07-09"},
      {"...", "{name}", "file"},
      {".bashrc", "{name}", ".bashrc"},
      {"CON.txt", "{name}", "_CON.txt"},
      {"aux", "{name}", "_aux"},
      {"con.tar.gz", "{name}", "_con.tar.gz"},
      {"nul .tar.gz", "{name}", "_nul .tar.gz"},
      {"x.pdf", "nul .{date}", "_nul .2024-03-05.pdf"},
      {"a<b>c?.TXT", "{name}", "a_b_c_.txt"},
      {"  spaced .txt", "{name}", "spaced.txt"},
      {"x.pdf", "{date}", "2024-03-05.pdf"},
      {"Minutes {date}.txt", "{name}", "Minutes 2024-03-05.txt"},
      {"{time}.txt", "{date}_{name}", "2024-03-05_14-07-09.txt"},
      {"{name}.txt", "{name}", "{name}.txt"},  // the name pass does not expand its own result
      {"plan.2.", "{name}", "plan.2"},
      {"x.c:m", "{name}", "x.c_m"},
      {"x.CON", "{name}", "x._con"},
      {"x.PDF ", "{name}", "x.pdf"},
      {"x. ", "{name}", "x"},
      {"x.pdf", "{date}/{name}", "2024-03-05_x.pdf"},
      {"x.pdf", "", "x.pdf"},
      {"x.pdf", "...", "x.pdf"},
      {"a/b", "{name}", "a_b"},
      {"..\\..\\x", "{name}", ".._._x"},
      {"../../etc/passwd", "{name}", ".._._etc_passwd"},
      {"..", "{name}", "file"},
      {"\xC3\x9C" "bersicht.\xC3\x84" "B", "{name}", "\xC3\x9C" "bersicht.\xC3\x84" "b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(build_file_name(c.original, c.pattern, MARCH_5), c.expected) << c.original << " / " << c.pattern;
  }
}

TEST(NamingBuildFileName, ZeroFillsDateAndTime) {
  EXPECT_EQ(build_file_name("a", DEFAULT_PATTERN, {2025, 1, 9, 7, 5, 3}), "a_2025-01-09_07-05-03");
  EXPECT_EQ(build_file_name("a", "{date}", {987, 12, 31, 0, 0, 0}), "0987-12-31");
  EXPECT_EQ(build_file_name("a", "{time}", {2024, 1, 1, 23, 59, 59}), "23-59-59");
}

TEST(NamingBuildFileName, CutsTheExpandedTextSoLongNamesLoseTheDate) {
  const std::string emoji = "\xF0\x9F\x98\x80";
  EXPECT_EQ(build_file_name(repeat("a", 200) + ".pdf", DEFAULT_PATTERN, MARCH_5), repeat("a", 150) + ".pdf");
  EXPECT_EQ(build_file_name("x." + repeat("B", 200), "{name}", MARCH_5), "x." + repeat("b", 150));
}

// What a cut leaves stays, unless Windows could not store the whole name as it is: then
// only the spaces and full stops at its very end go, and a device name gets its '_'.
TEST(NamingBuildFileName, ChangesWhatTheCutLeavesOnlyWhereWindowsNeedsIt) {
  const std::string a149 = repeat("a", 149), spaces = repeat(" ", 147);
  const std::string stops_then_name = repeat(".", 200) + "{name}";
  struct Case {
    std::string original;
    std::string_view pattern;
    std::string expected;
  };
  const Case cases[] = {
      {a149 + " b.txt", DEFAULT_PATTERN, a149 + " .txt"},
      {a149 + ".b.txt", DEFAULT_PATTERN, a149 + "..txt"},
      {a149 + " b", DEFAULT_PATTERN, a149},
      {a149 + ".b.", DEFAULT_PATTERN, a149},
      // 'CON' and spaces before the extension would open the console device.
      {"CON" + spaces + "x.txt", DEFAULT_PATTERN, "_CON" + spaces + ".txt"},
      {"lpt1" + repeat(" ", 146) + "x", DEFAULT_PATTERN, "_lpt1"},
      // The '_' would take this 250-unit name one unit over: it gives up one space.
      {"CON" + spaces + "x." + repeat("e", 99), DEFAULT_PATTERN, "_CON" + repeat(" ", 146) + "." + repeat("e", 99)},
      // Full stops alone, even after the pattern's text was cut away.
      {repeat(".", 200) + "a.", "{name}", "file"},
      {"x", stops_then_name, "file"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(build_file_name(c.original, c.pattern, MARCH_5), c.expected) << c.original.substr(0, 20);
  }
}

// Windows takes at most 255 UTF-16 units in a name, and a taken name gets up to five
// more ("_9999"): names that would pass that are cut further, and only those.
TEST(NamingBuildFileName, KeepsTheWholeNameWithinWhatWindowsAccepts) {
  const std::string emoji = "\xF0\x9F\x98\x80";  // two UTF-16 units
  struct Case {
    std::string original;
    std::string_view pattern;
    std::string expected;
  };
  const Case cases[] = {
      // 149 emoji and "_" from the pattern are 299 units: the base gets the 246 units
      // that ".png" leaves, and never half a character.
      {repeat(emoji, 149) + ".png", DEFAULT_PATTERN, repeat(emoji, 123) + ".png"},
      {repeat(emoji, 149) + ".pn", DEFAULT_PATTERN, repeat(emoji, 123) + ".pn"},
      // Exactly 250 units stays as it is.
      {repeat("a", 150) + "." + repeat("e", 99), "{name}", repeat("a", 150) + "." + repeat("e", 99)},
      {repeat("a", 150) + "." + repeat("e", 100), "{name}", repeat("a", 149) + "." + repeat("e", 100)},
      // A base cut to spaces or full stops keeps them before the extension.
      {repeat("a", 95) + repeat(" ", 55) + "b." + repeat("e", 150), "{name}_",
       repeat("a", 95) + repeat(" ", 4) + "." + repeat("e", 150)},
      {repeat(".", 9) + repeat("a", 140) + "." + repeat(emoji, 120), "{name}", repeat(".", 10) + repeat(emoji, 120)},
      // An extension too long to leave room for a base of eight units is cut as well.
      {"report." + repeat(emoji, 150), "{name}", "report." + repeat(emoji, 120)},
  };
  for (const auto& c : cases) {
    const std::string name = build_file_name(c.original, c.pattern, MARCH_5, platform::NameMeasure::Utf16Units);
    EXPECT_EQ(name, c.expected) << c.original;
    EXPECT_LE(text::utf8_to_utf16_lossy(name).size(), MAX_FILE_NAME_UNITS) << c.original;
  }
}

// Linux takes at most 255 bytes in a name: the same cuts, counted in UTF-8 bytes, with
// the same room for "_9999".
TEST(NamingBuildFileName, KeepsTheWholeNameWithinWhatLinuxAccepts) {
  const std::string emoji = "\xF0\x9F\x98\x80", u_umlaut = "\xC3\xBC", euro = "\xE2\x82\xAC";
  struct Case {
    std::string original;
    std::string_view pattern;
    std::string expected;
  };
  const Case cases[] = {
      // 149 emoji and "_" are 597 bytes: the base gets the 246 bytes that ".png" leaves,
      // which 61 emoji fill to 244 without splitting the 62nd.
      {repeat(emoji, 149) + ".png", DEFAULT_PATTERN, repeat(emoji, 61) + ".png"},
      {repeat(u_umlaut, 150) + ".txt", "{name}", repeat(u_umlaut, 123) + ".txt"},
      // Exactly 250 bytes stays as it is.
      {repeat(euro, 100) + ".pdf", "{name}", repeat(euro, 82) + ".pdf"},
      {repeat("a", 150) + "." + repeat("e", 99), "{name}", repeat("a", 150) + "." + repeat("e", 99)},
      {"report." + repeat(emoji, 150), "{name}", "report." + repeat(emoji, 60)},
  };
  for (const auto& c : cases) {
    const std::string name = build_file_name(c.original, c.pattern, MARCH_5, platform::NameMeasure::Utf8Bytes);
    EXPECT_EQ(name, c.expected) << c.original.substr(0, 20);
    EXPECT_LE(name.size(), MAX_FILE_NAME_UNITS) << c.original.substr(0, 20);
  }
  // The same short names on both systems.
  EXPECT_EQ(build_file_name("\xC3\x9C" "bersicht.PDF", "{name}", MARCH_5, platform::NameMeasure::Utf8Bytes),
            build_file_name("\xC3\x9C" "bersicht.PDF", "{name}", MARCH_5, platform::NameMeasure::Utf16Units));
}

TEST(NamingCandidateName, CountsFromTwoAtTheLastFullStop) {
  struct Case {
    std::string file_name;
    int attempt;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"x.pdf", 1, "x.pdf"},       {"x.pdf", 2, "x_2.pdf"},          {"x.pdf", 9999, "x_9999.pdf"},
      {"x", 3, "x_3"},             {"plan.2", 2, "plan_2.2"},        {"a.tar.gz", 10, "a.tar_10.gz"},
      {".hidden", 2, ".hidden_2"}, {"_con.txt", 2, "_con_2.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(candidate_name(c.file_name, c.attempt), c.expected) << c.file_name;
}

}  // namespace
}  // namespace tessiva::naming
