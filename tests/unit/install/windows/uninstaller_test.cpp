#include "install/windows/uninstaller.h"

#include <gtest/gtest.h>

#include "i18n/texts.h"
#include "install/windows/installer.h"
#include "platform/files.h"
#include "platform/process.h"
#include "unit/install/windows/fake_environment.h"

namespace tessiva::install {
namespace {

using test::FakeEnvironment;

TEST(RemovalCommand, WaitsThenDeletesOnlyTheNamedFilesAndAnEmptyFolder) {
  EXPECT_EQ(removal_command({"Tessiva-removed-7-1.tmp"}, ""),
            "ping 127.0.0.1 -n 4 > nul & del /f /q \"Tessiva-removed-7-1.tmp\""
            " & for /l %i in (1,1,300) do (if exist \"Tessiva-removed-7-1.tmp\" ping 127.0.0.1 -n 2 > nul & "
            "if exist \"Tessiva-removed-7-1.tmp\" del /f /q \"Tessiva-removed-7-1.tmp\" )");
  const std::string two = removal_command({"a.tmp", "b.tmp"}, "Tessiva");
  EXPECT_TRUE(two.ends_with("if exist \"b.tmp\" del /f /q \"b.tmp\" ) & rmdir \"Tessiva\"")) << two;
  EXPECT_EQ(two.find("/s"), std::string::npos) << two;
  EXPECT_EQ(removed_file_name(4242, 2), "Tessiva-removed-4242-2.tmp");
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
    // Nothing was installed: nothing is left to remove later, and settings, saved
    // files and partial transfers are never touched.
    EXPECT_TRUE(done.commands.empty());
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

TEST_F(UninstallerFlow, InstalledFilesGoAtOnceAndFilesInUseLeaveTheFolderUnderNamesOfTheirOwn) {
  const std::string other = platform::join_path(layout.install_folder, "notes.txt");
  for (const auto& path : {layout.executable, layout.previous_executable, layout.chromium_manifest,
                           layout.firefox_manifest})
    env.files[path] = test::FakeFile{"x"};
  env.folders.insert(layout.install_folder);
  env.running_executable = layout.executable;
  env.files[layout.executable].running = true;  // the uninstaller itself
  env.files[layout.previous_executable].running = true;  // a host of the version before an update
  {
    FakeEnvironment fresh = env;
    fresh.command_processor_fails = true;  // nothing else depends on the command
    EXPECT_EQ(run_uninstaller(fresh, true), EXIT_DONE);
    const std::string first = removed_file_name(platform::process_id(), 1);
    const std::string second = removed_file_name(platform::process_id(), 2);
    EXPECT_EQ(fresh.changes, (std::vector<std::string>{
                                 "rename " + layout.executable + " -> " + platform::join_path(*env.programs, first),
                                 "rename " + layout.previous_executable + " -> " +
                                     platform::join_path(*env.programs, second),
                                 "delete " + layout.chromium_manifest, "delete " + layout.firefox_manifest,
                                 "rmdir " + layout.install_folder}));
    ASSERT_EQ(fresh.commands.size(), 1u);
    EXPECT_EQ(fresh.commands[0].command, removal_command({first, second}, ""));
    EXPECT_EQ(fresh.commands[0].working_folder, *env.programs);
    EXPECT_EQ(fresh.commands[0].options, platform::CreationOptions::NoConsole | platform::CreationOptions::NoWindow);
  }
  // A file the installer did not write stays, and with it the folder, which the command
  // removes only if it is empty by then.
  env.files[other] = test::FakeFile{"mine"};
  EXPECT_EQ(run_uninstaller(env, true), EXIT_DONE);
  EXPECT_TRUE(env.files.contains(other));
  EXPECT_TRUE(env.folders.contains(layout.install_folder));
  ASSERT_EQ(env.commands.size(), 1u);
  EXPECT_TRUE(env.commands[0].command.ends_with(" & rmdir \"Tessiva\"")) << env.commands[0].command;
}

TEST_F(UninstallerFlow, NothingToRemoveAndNoCommandProcessorStillFinish) {
  env.registry.clear();
  env.command_processor_fails = true;
  env.ui_language = i18n::Language::Es;
  EXPECT_EQ(run_uninstaller(env, false), EXIT_DONE);
  ASSERT_EQ(env.boxes.size(), 2u);
  EXPECT_EQ(env.boxes[1].text, "Tessiva se desinstaló.");
  EXPECT_EQ(env.deleted_trees.size(), 5u);
  EXPECT_EQ(env.commands.size(), 0u);
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
