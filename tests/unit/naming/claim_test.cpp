#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "naming/naming.h"
#include "platform/files.h"

namespace tessiva::naming {
namespace {

namespace fs = std::filesystem;

fs::path from_utf8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

std::string to_utf8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

/// A fresh folder under the system's temporary folder, removed with everything in it.
class NamingClaim : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    for (int i = 0; i < 100 && root_.empty(); ++i) {
      const fs::path candidate = fs::temp_directory_path() / ("tessiva-naming-" + std::to_string(random()));
      if (fs::create_directory(candidate)) root_ = candidate;
    }
    ASSERT_FALSE(root_.empty());
    folder_ = to_utf8(root_);
  }
  void TearDown() override {
    std::error_code ignored;
    if (!root_.empty()) fs::remove_all(root_, ignored);
  }

  void touch(const std::string& name) const { std::ofstream(root_ / from_utf8(name)).put('x'); }

  std::set<std::string> names() const {
    std::set<std::string> out;
    for (const auto& entry : fs::directory_iterator(root_)) out.insert(to_utf8(entry.path().filename()));
    return out;
  }

  fs::path root_;
  std::string folder_;
};

TEST_F(NamingClaim, CreatesAnEmptyFileUnderTheFirstFreeName) {
  const auto first = claim_free_path(folder_, "Report.pdf");
  ASSERT_TRUE(first) << first.error().text();
  EXPECT_EQ(*first, platform::join_path(folder_, "Report.pdf"));
  EXPECT_TRUE(fs::is_regular_file(from_utf8(*first)));
  EXPECT_EQ(fs::file_size(from_utf8(*first)), 0u);

  const auto second = claim_free_path(folder_, "Report.pdf");
  ASSERT_TRUE(second) << second.error().text();
  EXPECT_EQ(*second, platform::join_path(folder_, "Report_2.pdf"));
  EXPECT_EQ(names(), (std::set<std::string>{"Report.pdf", "Report_2.pdf"}));
}

TEST_F(NamingClaim, SkipsEveryTakenCandidate) {
  struct Case {
    std::vector<std::string> present;
    std::string file_name, claimed;
  };
  const std::vector<Case> cases = {
      {{"r.pdf", "r_2.pdf"}, "r.pdf", "r_3.pdf"},
      {{"r.pdf", "r_3.pdf"}, "r.pdf", "r_2.pdf"},
      {{"notes"}, "notes", "notes_2"},
      {{"plan.2"}, "plan.2", "plan_2.2"},
      {{"\xC3\x9C" "bersicht \xE2\x9C\x93.pdf"}, "\xC3\x9C" "bersicht \xE2\x9C\x93.pdf",
       "\xC3\x9C" "bersicht \xE2\x9C\x93_2.pdf"},
      {{}, "\xF0\x9F\x98\x80.txt", "\xF0\x9F\x98\x80.txt"},
  };
  for (const auto& c : cases) {
    for (const auto& entry : fs::directory_iterator(root_)) fs::remove(entry.path());
    for (const auto& name : c.present) touch(name);
    const auto claimed = claim_free_path(folder_, c.file_name);
    ASSERT_TRUE(claimed) << c.file_name << ": " << claimed.error().text();
    EXPECT_EQ(*claimed, platform::join_path(folder_, c.claimed)) << c.file_name;
    EXPECT_TRUE(fs::is_regular_file(from_utf8(*claimed))) << c.file_name;
  }
}

TEST_F(NamingClaim, AFolderTakesTheNameAsWellAsAFile) {
  fs::create_directory(root_ / "x.pdf");
  const auto claimed = claim_free_path(folder_, "x.pdf");
  ASSERT_TRUE(claimed) << claimed.error().text();
  EXPECT_EQ(*claimed, platform::join_path(folder_, "x_2.pdf"));
}

TEST_F(NamingClaim, DateOnlyPatternSavesTwoFilesOnOneDay) {
  const platform::LocalTime day = {2024, 3, 5, 9, 0, 0};
  const platform::LocalTime later = {2024, 3, 5, 17, 30, 0};
  const auto first = claim_free_path(folder_, build_file_name("a.PDF", "{date}", day));
  const auto second = claim_free_path(folder_, build_file_name("b.pdf", "{date}", later));
  ASSERT_TRUE(first && second);
  EXPECT_EQ(names(), (std::set<std::string>{"2024-03-05.pdf", "2024-03-05_2.pdf"}));
}

TEST_F(NamingClaim, AMissingFolderGivesTheSystemErrorAndLeavesNothing) {
  const std::string missing = platform::join_path(folder_, "missing");
  const auto claimed = claim_free_path(missing, "x.pdf");
  ASSERT_FALSE(claimed);
  ASSERT_TRUE(claimed.error().os_error.has_value());
  EXPECT_NE(claimed.error().text(), NO_FREE_NAME);
  EXPECT_TRUE(names().empty());
}

// The full 9999 names take seconds to create on some disks; a lower limit runs the same loop.
TEST_F(NamingClaim, TriesUpToTheLastAttemptAndThenGivesUp) {
  constexpr int LAST = 6;
  touch("x.pdf");
  for (int n = 2; n < LAST; ++n) touch("x_" + std::to_string(n) + ".pdf");

  const auto last = claim_free_path(folder_, "x.pdf", LAST);
  ASSERT_TRUE(last) << last.error().text();
  EXPECT_EQ(*last, platform::join_path(folder_, "x_6.pdf"));

  const auto none = claim_free_path(folder_, "x.pdf", LAST);
  ASSERT_FALSE(none);
  EXPECT_FALSE(none.error().os_error.has_value());
  EXPECT_EQ(none.error().text(), "no free file name");
  EXPECT_EQ(names(), (std::set<std::string>{"x.pdf", "x_2.pdf", "x_3.pdf", "x_4.pdf", "x_5.pdf", "x_6.pdf"}));
}

}  // namespace
}  // namespace tessiva::naming
