#include "desktop/reveal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "temp_folder.h"

namespace tessiva::desktop {
namespace {

using messages::HostError;
using nlohmann::json;
namespace code = messages::error_code;

/// Records the launch jobs instead of starting anything.
struct Recorder {
  std::vector<open::LaunchJob> jobs;
  std::optional<std::string> failure;
  open::StartLauncher start() {
    return [this](const open::LaunchJob& job) -> std::expected<void, std::string> {
      if (failure) return std::unexpected(*failure);
      jobs.push_back(job);
      return {};
    };
  }
};

open::LaunchJob reveal_job(const std::string& file) { return open::LaunchJob{open::Launch::Reveal{}, file}; }

void write_file(const std::string& path) {
  std::ofstream(std::filesystem::path(std::u8string(path.begin(), path.end()))) << "x";
}

class ShellReveal : public testing::Test {
 protected:
  test::TempFolder temp;
  std::string saved = platform::join_path(temp.path(), "Saved");
  std::string sub = platform::join_path(saved, "sub");
  std::string file = platform::join_path(sub, "a.pdf");
  Recorder recorder;

  void SetUp() override {
    ASSERT_TRUE(platform::create_folders(sub));
    ASSERT_TRUE(platform::create_folders(saved + "2"));
    write_file(file);
    write_file(platform::join_path(saved + "2", "b.pdf"));
    write_file(platform::join_path(temp.path(), "outside.pdf"));
  }

  messages::HandlerResult reveal(const json& path) {
    return reveal_with(json{{"type", "reveal"}, {"path", path}}, saved, recorder.start());
  }
};

TEST_F(ShellReveal, AcceptsWhatLiesInsideAndSendsThePathAsWritten) {
  const std::string sep(1, platform::PATH_SEPARATOR);
  std::vector<std::string> accepted{file, sub, saved, saved + sep, sub + sep + ".." + sep + "sub" + sep + "a.pdf"};
  if (platform::native_path_style() == text::PathStyle::Windows) {
    // The file system ignores letter case, so another spelling names the same file.
    std::string upper = file;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    accepted.push_back(upper);
  }
  for (const auto& path : accepted) {
    recorder.jobs.clear();
    EXPECT_EQ(reveal(path), json::object()) << path;
    EXPECT_EQ(recorder.jobs, std::vector{reveal_job(path)}) << path;
  }
}

TEST_F(ShellReveal, RefusesWhatLiesOutsideOrDoesNotExist) {
  const std::string sep(1, platform::PATH_SEPARATOR);
  const std::vector<json> refused{
      temp.path(),
      platform::join_path(temp.path(), "outside.pdf"),
      saved + "2",
      platform::join_path(saved + "2", "b.pdf"),
      saved + sep + ".." + sep + "outside.pdf",
      platform::join_path(sub, "missing.pdf"),
      "",
      42,
      nullptr,
  };
  for (const auto& path : refused) {
    EXPECT_EQ(reveal(path), std::unexpected(HostError::invalid_request())) << path.dump();
  }
  EXPECT_EQ(reveal_with(json{{"type", "reveal"}}, saved, recorder.start()),
            std::unexpected(HostError::invalid_request()));
  EXPECT_TRUE(recorder.jobs.empty());
}

TEST_F(ShellReveal, FailuresOfTheSaveFolderAndTheLauncher) {
  EXPECT_EQ(reveal_with(json{{"path", file}}, std::nullopt, recorder.start()),
            std::unexpected(HostError{code::IO_ERROR, std::nullopt}));
  // A save folder that does not exist yet holds nothing to reveal.
  EXPECT_EQ(reveal_with(json{{"path", file}}, platform::join_path(temp.path(), "none"), recorder.start()),
            std::unexpected(HostError::invalid_request()));
  recorder.failure = "Access is denied. (os error 5)";
  EXPECT_EQ(reveal(file), std::unexpected(HostError{code::LAUNCH_FAILED, "Access is denied. (os error 5)"}));
}

TEST(ShellOpenSaveFolder, CreatesTheFolderWithItsParentsThenRevealsIt) {
  test::TempFolder temp;
  Recorder recorder;
  const std::string folder = platform::join_path(platform::join_path(temp.path(), "a"), "b");
  EXPECT_EQ(open_save_folder_with(folder, recorder.start()), json::object());
  EXPECT_TRUE(platform::file_attributes(folder).value().is_directory);
  EXPECT_EQ(recorder.jobs, std::vector{reveal_job(folder)});

  // An existing folder is fine.
  EXPECT_EQ(open_save_folder_with(folder, recorder.start()), json::object());

  EXPECT_EQ(open_save_folder_with(std::nullopt, recorder.start()),
            std::unexpected(HostError{code::IO_ERROR, std::nullopt}));

  const std::string blocked = platform::join_path(temp.path(), "file");
  write_file(blocked);
  const auto in_the_way = open_save_folder_with(platform::join_path(blocked, "x"), recorder.start());
  ASSERT_FALSE(in_the_way);
  EXPECT_EQ(in_the_way.error().code, code::IO_ERROR);
  EXPECT_TRUE(in_the_way.error().detail && in_the_way.error().detail->find("(os error ") != std::string::npos);

  recorder.failure = "no launcher";
  EXPECT_EQ(open_save_folder_with(folder, recorder.start()),
            std::unexpected(HostError{code::LAUNCH_FAILED, "no launcher"}));
  EXPECT_EQ(recorder.jobs.size(), 2u);
}

}  // namespace
}  // namespace tessiva::desktop
