#include "main/event_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "temp_folder.h"

namespace tessiva::app {
namespace {

std::string contents(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(LoggableDetail, KeepsSystemWordsAndDropsNames) {
  EXPECT_EQ(loggable_detail("No space left on device (os error 28)"), "No space left on device (os error 28)");
  EXPECT_EQ(loggable_detail("invalid file name"), "invalid file name");
  EXPECT_EQ(loggable_detail("Error opening file /home/u/secret.txt: No such file (os error 2)"), "os error 2");
  EXPECT_EQ(loggable_detail("C:\\Users\\u\\a.txt is not a desktop entry (os error 2)"), "os error 2");
  EXPECT_EQ(loggable_detail("Error opening \xE2\x80\x9Csecret.txt\xE2\x80\x9D"), "");
  EXPECT_EQ(loggable_detail("'secret.txt' (os error x)"), "");
}

TEST(RequestEvent, NamesTheOutcomeButNeverAnEchoingDetail) {
  using messages::HostError;
  const auto ms = std::chrono::microseconds(1234);
  EXPECT_EQ(request_event("hello", nlohmann::json::object(), ms), "request type=hello ok ms=1.234");
  EXPECT_EQ(request_event("set_config", std::unexpected(HostError::of("invalid_config", "theme: secret")), ms),
            "request type=set_config error=invalid_config ms=1.234");
  EXPECT_EQ(request_event("", std::unexpected(HostError::io_error("Permission denied (os error 13)")), ms),
            "request type=(unknown) error=io_error detail=[Permission denied (os error 13)] ms=1.234");
}

// Two hosts share the log; one renames it aside while the other still holds the file
// that now is the older one. The second must not push the fresh log aside in turn,
// and no line may be split or lost from the current file.
TEST(EventLog, RotationByAnotherProcessKeepsLinesWhole) {
  test::TempFolder temp;
  const std::string folder = platform::join_path(temp.path(), "logs");
  const auto lookup = [&] { return std::optional(folder); };
  const std::string log = platform::join_path(folder, "tessiva.log");
  constexpr std::uint64_t LIMIT = 400;

  EventLog first(lookup, LIMIT), second(lookup, LIMIT);
  second.add("second opens");
  second.flush();
  for (int i = 0; i < 10; ++i) {
    first.add("first line " + std::to_string(i));
    first.flush();
  }
  ASSERT_TRUE(std::filesystem::exists(std::filesystem::u8path(log + ".1")));
  const std::string fresh = contents(log);
  ASSERT_LT(fresh.size(), LIMIT);

  second.add("second after the rotation");
  second.flush();
  const std::string now = contents(log);
  EXPECT_TRUE(now.starts_with(fresh)) << now;
  EXPECT_NE(now.find("second after the rotation\n"), std::string::npos) << now;
  EXPECT_LE(contents(log + ".1").size(), LIMIT + 100);
  for (const auto& text : {now, contents(log + ".1")}) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) EXPECT_NE(line.find(" pid="), std::string::npos) << line;
  }
}

TEST(EventLog, LinesAreDueWhenAFailureCameTheyGrewOrTheyAged) {
  test::TempFolder temp;
  const auto folder = [&] { return std::optional(temp.path()); };
  EventLog log(folder, LOG_ROTATE_BYTES, std::chrono::hours(1));
  EXPECT_FALSE(log.due());
  log.add("went well");
  EXPECT_FALSE(log.due());
  log.add("failed", true);
  EXPECT_TRUE(log.due());
  log.flush();
  EXPECT_FALSE(log.due());
  while (log.held_bytes() < LOG_FLUSH_BYTES) {
    EXPECT_FALSE(log.due());
    log.add("went well");
  }
  EXPECT_TRUE(log.due());
  log.flush();
  EventLog quick(folder, LOG_ROTATE_BYTES, std::chrono::milliseconds(0));
  quick.add("went well");
  EXPECT_TRUE(quick.due());
}

TEST(EventLog, AnUnusableFolderIsIgnored) {
  test::TempFolder temp;
  const std::string blocker = platform::join_path(temp.path(), "file");
  std::ofstream(std::filesystem::u8path(blocker)) << "x";
  EventLog log([&] { return std::optional(blocker); });
  log.add("lost");
  log.flush();
  EXPECT_EQ(log.held_bytes(), 0u);
  EventLog nowhere([] { return std::optional<std::string>(); });
  nowhere.add("lost");
  nowhere.flush();
}

}  // namespace
}  // namespace tessiva::app
