// The per-user installer and uninstaller beside an installation for all users, against
// the fake environment; the version order the self-check weighs copies by.

#include "install/windows/machine_install.h"

#include <gtest/gtest.h>

#include "i18n/texts.h"
#include "install/windows/installer.h"
#include "install/windows/uninstaller.h"
#include "unit/install/windows/fake_environment.h"

namespace tessiva::install {
namespace {

using platform::MessageBoxAnswer;
using platform::MessageBoxKind;
using test::FakeEnvironment;

TEST(CompareVersions, NumberByNumber) {
  using std::strong_ordering;
  struct Case {
    std::string_view a, b;
    std::optional<strong_ordering> want;
  };
  const Case cases[] = {
      {"0.1.0", "0.1.0", strong_ordering::equal},   {"0.1.0", "0.2.0", strong_ordering::less},
      {"0.9.0", "0.10.0", strong_ordering::less},   {"1.0", "0.99.99", strong_ordering::greater},
      {"0.1", "0.1.0.0", strong_ordering::equal},   {"0.1.1", "0.1", strong_ordering::greater},
      {"", "0.1.0", std::nullopt},                  {"0.1.0", "0.1.x", std::nullopt},
      {"0..1", "0.1", std::nullopt},                {"0.1.", "0.1", std::nullopt},
      {"-1", "0", std::nullopt},                    {"99999999999999999999", "1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(compare_versions(c.a, c.b), c.want) << c.a << " <=> " << c.b;
}

constexpr std::string_view MACHINE_FOLDER = "C:\\Program Files\\Tessiva\\";
constexpr std::string_view MACHINE_EXE = "C:\\Program Files\\Tessiva\\tessiva.exe";

class BesideMachineInstall : public testing::Test {
 protected:
  BesideMachineInstall() {
    env.programs = "C:\\Users\\ana\\AppData\\Local\\Programs";
    env.running_executable = "C:\\Users\\ana\\Downloads\\tessiva.exe";
    env.files[env.running_executable] = {"program"};
    env.files[std::string(MACHINE_EXE)] = {"program"};
    env.machine = MachineInstall{std::string(MACHINE_FOLDER), "0.2.0", std::nullopt};
    layout = install_layout(*env.programs);
  }

  std::string text(i18n::MessageKey key) const { return std::string(i18n::message_text(env.ui_language, key)); }

  static void expect_nothing_changed(const FakeEnvironment& done, const std::string& name) {
    EXPECT_TRUE(done.changes.empty()) << name;
    EXPECT_TRUE(done.registry.empty()) << name;
    EXPECT_TRUE(done.deleted_trees.empty()) << name;
    EXPECT_TRUE(done.commands.empty()) << name;
  }

  FakeEnvironment env;
  InstallLayout layout;
};

TEST_F(BesideMachineInstall, TheCopyForAllUsersInstallsAndUninstallsNothing) {
  const std::string remove = "To remove it, open Settings > Apps > Installed apps, or run: msiexec /x tessiva-0.2.0-x64.msi";
  const std::string installed = text(i18n::MessageKey::InstalledSystemWide) + " " + remove;
  struct Case {
    std::string name, running, folder;
    /// A short name the system resolves to the long one.
    bool short_name = false;
  };
  const Case cases[] = {
      {"the folder as the key holds it", std::string(MACHINE_EXE), std::string(MACHINE_FOLDER)},
      {"other letter case, no separator at the end", "c:\\PROGRAM FILES\\tessiva\\tessiva.exe",
       "C:\\Program Files\\Tessiva"},
      {"a short name", "C:\\PROGRA~1\\Tessiva\\tessiva.exe", std::string(MACHINE_FOLDER), true},
  };
  for (const auto& c : cases) {
    FakeEnvironment base = env;
    base.running_executable = c.running;
    base.machine->folder = c.folder;
    if (c.short_name) base.aliases[c.running] = std::string(MACHINE_EXE);
    base.folders.insert(std::string(MACHINE_FOLDER));

    // With standard output the text goes there, without it into a box; even asked
    // with "--per-user", nothing is installed.
    FakeEnvironment printed = base;
    printed.output_open = true;
    EXPECT_EQ(run_installer(printed, false, true), EXIT_DONE) << c.name;
    expect_nothing_changed(printed, c.name);
    EXPECT_EQ(printed.output, installed + "\n") << c.name;
    FakeEnvironment shown = base;
    EXPECT_EQ(run_installer(shown, false), EXIT_DONE) << c.name;
    ASSERT_EQ(shown.boxes.size(), 1u) << c.name;
    EXPECT_EQ(shown.boxes[0].text, installed) << c.name;
    EXPECT_EQ(shown.boxes[0].kind, MessageBoxKind::Information) << c.name;

    FakeEnvironment uninstalling = base;
    EXPECT_EQ(run_uninstaller(uninstalling, true), EXIT_FAILED) << c.name;
    expect_nothing_changed(uninstalling, c.name);
    EXPECT_EQ(uninstalling.errors, text(i18n::MessageKey::UninstallSystemWide) + " " + remove + "\n") << c.name;
  }
  // Beside or below the folder is another copy.
  for (const std::string running : {"C:\\Program Files\\Tessiva2\\tessiva.exe",
                                    "C:\\Program Files\\Tessiva\\old\\tessiva.exe"}) {
    FakeEnvironment fresh = env;
    fresh.running_executable = running;
    fresh.files[running] = {"program"};
    EXPECT_EQ(run_installer(fresh, true), EXIT_INSTALLED_FOR_ALL_USERS) << running;
  }
}

TEST_F(BesideMachineInstall, InteractivePerUserInstallAsksWithNoAsTheDefault) {
  for (const auto answer : {MessageBoxAnswer::No, MessageBoxAnswer::NotShown, MessageBoxAnswer::Cancel}) {
    FakeEnvironment declined = env;
    declined.answers = {answer};
    EXPECT_EQ(run_installer(declined, false), EXIT_DECLINED) << static_cast<int>(answer);
    expect_nothing_changed(declined, "declined");
    ASSERT_EQ(declined.boxes.size(), 1u);
    EXPECT_EQ(declined.boxes[0].text, text(i18n::MessageKey::MachineInstallPrompt));
    EXPECT_EQ(declined.boxes[0].kind, MessageBoxKind::QuestionNo);
  }
  // Yes is the only question: the usual first-install question is not asked again.
  FakeEnvironment accepted = env;
  accepted.answers = {MessageBoxAnswer::Yes};
  EXPECT_EQ(run_installer(accepted, false), EXIT_DONE);
  ASSERT_EQ(accepted.boxes.size(), 2u);
  EXPECT_EQ(accepted.boxes[0].kind, MessageBoxKind::QuestionNo);
  EXPECT_EQ(accepted.boxes[1].text, text(i18n::MessageKey::InstallDone));
  EXPECT_EQ(accepted.files[layout.executable].bytes, "program");

  // Asked on the command line: the install goes as it does without a copy for all
  // users, quiet or not.
  FakeEnvironment per_user = env;
  per_user.answers = {MessageBoxAnswer::Yes};
  EXPECT_EQ(run_installer(per_user, false, true), EXIT_DONE);
  ASSERT_EQ(per_user.boxes.size(), 2u);
  EXPECT_EQ(per_user.boxes[0].text, text(i18n::MessageKey::InstallPrompt));
  FakeEnvironment quiet = env;
  EXPECT_EQ(run_installer(quiet, true, true), EXIT_DONE);
  EXPECT_EQ(quiet.files[layout.executable].bytes, "program");
}

}  // namespace
}  // namespace tessiva::install
