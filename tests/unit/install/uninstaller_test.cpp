#include "install/uninstaller.h"

#include <gtest/gtest.h>

#include "i18n/messages.h"
#include "unit/install/fake_environment.h"
#include "install/installer.h"
#include "platform/files.h"

namespace tessiva::install {
namespace {

using test::FakeEnvironment;

TEST(RemovalCommand, WaitsRemovesAndRetriesWhileTheFolderIsThere) {
  EXPECT_EQ(removal_command("C:\\Users\\Ana María\\AppData\\Local\\Programs\\Tessiva"),
            "ping 127.0.0.1 -n 4 > nul & rmdir /s /q \"C:\\Users\\Ana María\\AppData\\Local\\Programs\\Tessiva\""
            " & for /l %i in (1,1,300) do ("
            "if exist \"C:\\Users\\Ana María\\AppData\\Local\\Programs\\Tessiva\" ping 127.0.0.1 -n 2 > nul & "
            "if exist \"C:\\Users\\Ana María\\AppData\\Local\\Programs\\Tessiva\" rmdir /s /q "
            "\"C:\\Users\\Ana María\\AppData\\Local\\Programs\\Tessiva\" )");
}

TEST(RemovalCommand, PathsTheProcessorWouldExpandAreNamedRelatively) {
  for (const char* folder : {"C:\\Users\\100%i\\Programs\\Tessiva", "C:\\Users\\a%PATH%b\\Programs\\Tessiva",
                             "C:\\Users\\Hey!\\Programs\\Tessiva"}) {
    const std::string command = removal_command(folder);
    EXPECT_EQ(command.find("Users"), std::string::npos) << command;
    EXPECT_TRUE(command.starts_with("ping 127.0.0.1 -n 4 > nul & rmdir /s /q \"Tessiva\" & ")) << command;
  }
}

class UninstallerFlow : public testing::Test {
 protected:
  UninstallerFlow() {
    env.programs = platform::join_path("home", "Programs");
    layout = install_layout(*env.programs);
    for (const auto& key : host_keys()) env.registry[key][""] = std::string("manifest");
    env.registry[std::string(UNINSTALL_KEY)]["DisplayName"] = std::string("Tessiva");
    env.registry["Software\\Other"]["Kept"] = std::uint32_t{1};
  }

  std::string text(i18n::MessageKey key) const { return std::string(i18n::message_text(env.ui_language, key)); }

  void expect_everything_removed(const FakeEnvironment& done) const {
    const auto keys = host_keys();
    std::vector<std::string> want(keys.begin(), keys.end());
    want.push_back(std::string(UNINSTALL_KEY));
    EXPECT_EQ(done.deleted_trees, want);
    ASSERT_EQ(done.registry.size(), 1u);
    EXPECT_TRUE(done.registry.contains("Software\\Other"));
    ASSERT_EQ(done.commands.size(), 1u);
    EXPECT_EQ(done.commands[0].command, removal_command(layout.install_folder));
    EXPECT_EQ(done.commands[0].working_folder, *env.programs);
    EXPECT_EQ(done.commands[0].options, platform::CreationOptions::NoConsole | platform::CreationOptions::NoWindow);
    // Settings, saved files and partial transfers are never touched.
    EXPECT_TRUE(done.changes.empty());
  }

  FakeEnvironment env;
  InstallLayout layout;
};

TEST_F(UninstallerFlow, AsksThenRemovesEverything) {
  for (const auto answer : {platform::MessageBoxAnswer::Yes, platform::MessageBoxAnswer::Ok}) {
    FakeEnvironment fresh = env;
    fresh.answers = {answer};
    EXPECT_EQ(run_uninstaller(fresh, false), EXIT_DONE);
    ASSERT_EQ(fresh.boxes.size(), 2u);
    EXPECT_EQ(fresh.boxes[0].text, text(i18n::MessageKey::UninstallPrompt));
    EXPECT_EQ(fresh.boxes[0].kind, platform::MessageBoxKind::Question);
    EXPECT_EQ(fresh.boxes[1].text, text(i18n::MessageKey::UninstallDone));
    EXPECT_EQ(fresh.boxes[1].kind, platform::MessageBoxKind::Information);
    for (const auto& box : fresh.boxes) EXPECT_EQ(box.caption, "Tessiva");
    expect_everything_removed(fresh);
  }
}

TEST_F(UninstallerFlow, DeclinedRemovesNothing) {
  using enum platform::MessageBoxAnswer;
  for (const auto answer : {No, Cancel, NotShown}) {
    FakeEnvironment fresh = env;
    fresh.answers = {answer};
    EXPECT_EQ(run_uninstaller(fresh, false), EXIT_DECLINED) << static_cast<int>(answer);
    EXPECT_EQ(fresh.boxes.size(), 1u);
    EXPECT_TRUE(fresh.deleted_trees.empty());
    EXPECT_TRUE(fresh.commands.empty());
    EXPECT_EQ(fresh.registry.size(), 6u);
  }
}

TEST_F(UninstallerFlow, QuietShowsNothing) {
  EXPECT_EQ(run_uninstaller(env, true), EXIT_DONE);
  EXPECT_TRUE(env.boxes.empty());
  expect_everything_removed(env);
}

TEST_F(UninstallerFlow, NothingToRemoveAndNoCommandProcessorStillFinish) {
  env.registry.clear();
  env.command_processor_fails = true;
  env.ui_language = i18n::Language::Es;
  EXPECT_EQ(run_uninstaller(env, false), EXIT_DONE);
  ASSERT_EQ(env.boxes.size(), 2u);
  EXPECT_EQ(env.boxes[1].text, "Tessiva se desinstaló.");
  EXPECT_EQ(env.deleted_trees.size(), 5u);
  EXPECT_EQ(env.commands.size(), 1u);
  // A second run finds nothing and finishes the same way.
  EXPECT_EQ(run_uninstaller(env, true), EXIT_DONE);
}

TEST_F(UninstallerFlow, WithoutProgramsFolderOnlyTheKeysGo) {
  {
    FakeEnvironment fresh = env;
    fresh.programs.reset();
    EXPECT_EQ(run_uninstaller(fresh, true), EXIT_DONE);
    EXPECT_EQ(fresh.deleted_trees.size(), 5u);
    EXPECT_EQ(fresh.registry.size(), 1u);
    EXPECT_TRUE(fresh.commands.empty());
  }
}

}  // namespace
}  // namespace tessiva::install
