#include "open/launcher.h"

#include <gtest/gtest.h>

#include "text/command_line.h"
#include "platform/files.h"
#include "temp_folder.h"
#include "text/utf.h"

namespace tessiva::open {
namespace {

TEST(AppArguments, FileTokenTrimmingAndTheBareFile) {
  const std::string file = "C:\\My Files\\Report Q1.pdf";
  const std::string q = "\"C:\\My Files\\Report Q1.pdf\"";
  struct Case {
    std::string args, want;
  };
  const Case cases[] = {
      {"{file}", q},
      {"--open {file} --again={file}", "--open " + q + " --again=" + q},
      {"  /x {file}\t", "  /x " + q + "\t"},  // with a token nothing is trimmed
      {"{file}{file}", q + q},
      {"{FILE} {File}", "{FILE} {File} " + q},  // the token is lower case only
      {"{file", "{file " + q},
      {"", q},
      {"   ", q},
      {" \t\r\n", q},
      {"  -x  ", "-x " + q},
      {"\xe3\x80\x80-x -y\xc2\xa0", "-x -y " + q},  // U+3000 and U+00A0 are white space
      {"-a  -b", "-a  -b " + q},
  };
  for (const auto& c : cases) EXPECT_EQ(app_argument_text(c.args, file), c.want) << c.args;

  // A file path that itself holds the token is not expanded again.
  EXPECT_EQ(app_argument_text("{file} {file}", "C:\\{file}.txt"), "\"C:\\{file}.txt\" \"C:\\{file}.txt\"");
}

TEST(AppArguments, CommandLineIsTheQuotedExeAndTheTextVerbatim) {
  EXPECT_EQ(app_command_line("C:\\Program Files\\V\\v.exe", app_argument_text("-x", "C:\\a b.pdf")),
            "\"C:\\Program Files\\V\\v.exe\" -x \"C:\\a b.pdf\"");
  EXPECT_EQ(app_command_line("C:\\v.exe", ""), "\"C:\\v.exe\" ");
  EXPECT_EQ(app_command_line("C:\\v.exe", " \"unbalanced"), "\"C:\\v.exe\"  \"unbalanced");

  // Split by the usual rules, a path with spaces stays one argument, both times.
  const auto line = app_command_line("C:\\Program Files\\V\\v.exe",
                                     app_argument_text("/a {file} /b {file}", "C:\\My Files\\r.pdf"));
  const auto args = text::split_windows_command_line_utf8(text::utf8_to_utf16_lossy(line));
  const std::vector<std::string> want{"C:\\Program Files\\V\\v.exe", "/a", "C:\\My Files\\r.pdf", "/b",
                                      "C:\\My Files\\r.pdf"};
  EXPECT_EQ(args, want);
}

TEST(AppArguments, VectorsKeepThePathOneArgumentByteForByte) {
  using Args = std::vector<std::string>;
  const std::string file = "/home/u/My \"Files\"/it's $HOME\\x \xc3\xa9.pdf";
  struct Case {
    std::string args;
    Args want;
  };
  const Case cases[] = {
      {"", {file}},
      {"  -x  ", {"-x", file}},
      {"{file}", {file}},
      {"--open={file} '{file}' -n", {"--open=" + file, file, "-n"}},
      {"{file}{file}", {file + file}},
      {"'a b' \\\"c", {"a b", "\"c", file}},
      {"{FILE} {fil", {"{FILE}", "{fil", file}},
  };
  for (const auto& c : cases) EXPECT_EQ(app_argument_vector(c.args, file), c.want) << c.args;
  // A path that itself holds the token is not expanded again.
  EXPECT_EQ(app_argument_vector("{file}", "/t/{file}"), (Args{"/t/{file}"}));
  EXPECT_EQ(app_argument_vector("-x 'open", file), std::nullopt);
  EXPECT_TRUE(is_desktop_entry("/usr/share/applications/viewer.desktop"));
  EXPECT_FALSE(is_desktop_entry("/usr/bin/viewer"));
}

struct SpawnCall {
  std::vector<std::string> arguments;
  platform::CreationOptions options;
};

TEST(SpawnLauncher, TwoArgumentsFirstWithBreakAwayThenWithout) {
  const LaunchJob job{Launch::Handler{"h \"1\"", "pdf"}, "C:\\D\xc3\xa9j\xc3\xa0 vu\\r.pdf"};
  for (int failures : {0, 1, 2}) {
    std::vector<SpawnCall> calls;
    const SpawnSelf spawn = [&](const std::vector<std::string>& arguments,
                                platform::CreationOptions options) -> platform::Result<void> {
      calls.push_back({arguments, options});
      if (static_cast<int>(calls.size()) <= failures)
        return std::unexpected(platform::OsError{5, "attempt " + std::to_string(calls.size())});
      return {};
    };
    const auto outcome = spawn_launcher_with(spawn, job);
    ASSERT_EQ(calls.size(), failures == 0 ? 1u : 2u) << failures;
    using enum platform::CreationOptions;
    EXPECT_EQ(calls[0].options, NoConsole | NewProcessGroup | NoWindow | BreakAwayFromJob);
    if (calls.size() == 2) {
      EXPECT_EQ(calls[1].options, NoConsole | NewProcessGroup | NoWindow);
      EXPECT_EQ(calls[1].arguments, calls[0].arguments);
    }
    for (const auto& call : calls) {
      EXPECT_EQ(call.arguments, (std::vector<std::string>{"--launch", encode_job(job)}));
    }
    if (failures < 2) {
      EXPECT_TRUE(outcome) << failures;
    } else {
      ASSERT_FALSE(outcome);
      EXPECT_EQ(outcome.error(), "attempt 2 (os error 5)");  // the second attempt's text
    }
  }
}

TEST(RunLaunchJob, ActionsThatCannotBeCarriedOutGiveOne) {
  test::TempFolder temp;
  const std::string missing = platform::join_path(temp.path(), "no-such-program.exe");
  const std::string file = platform::join_path(temp.path(), "f.txt");
  EXPECT_EQ(run_launch_job(encode_job({Launch::App{missing, "{file}"}, file})), 1);
  EXPECT_EQ(run_launch_job(encode_job({Launch::Handler{"no such handler", "tessiva-none"}, file})), 1);
}

}  // namespace
}  // namespace tessiva::open
