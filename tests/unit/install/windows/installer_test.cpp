#include "install/windows/installer.h"

#include <gtest/gtest.h>

#include "i18n/texts.h"
#include "platform/files.h"
#include "unit/install/windows/fake_environment.h"

namespace tessiva::install {
namespace {

using platform::RegistryData;
using test::FakeEnvironment;

TEST(InstallManifest, ChromiumFamilyBytes) {
  EXPECT_EQ(chromium_manifest("C:\\Users\\Ana\\AppData\\Local\\Programs\\Tessiva\\tessiva.exe"),
            "{\n"
            "  \"allowed_origins\": [\n"
            "    \"chrome-extension://cgbhmfokdbekaodpknicbahbpdengiac/\"\n"
            "  ],\n"
            "  \"description\": \"Tessiva\",\n"
            "  \"name\": \"com.orbelle.tessiva\",\n"
            "  \"path\": \"C:\\\\Users\\\\Ana\\\\AppData\\\\Local\\\\Programs\\\\Tessiva\\\\tessiva.exe\",\n"
            "  \"type\": \"stdio\"\n"
            "}");
}

TEST(InstallManifest, FirefoxBytes) {
  EXPECT_EQ(firefox_manifest("C:\\P\\Tessiva\\tessiva.exe"),
            "{\n"
            "  \"allowed_extensions\": [\n"
            "    \"tessiva@orbelle.software\"\n"
            "  ],\n"
            "  \"description\": \"Tessiva\",\n"
            "  \"name\": \"com.orbelle.tessiva\",\n"
            "  \"path\": \"C:\\\\P\\\\Tessiva\\\\tessiva.exe\",\n"
            "  \"type\": \"stdio\"\n"
            "}");
}

TEST(InstallManifest, PathTextIsEscapedAsJson) {
  // Non-ASCII letters stay UTF-8; control characters and quotes are escaped; bytes
  // that are not UTF-8 cannot make the writer throw.
  const std::string manifest = chromium_manifest("C:\\Usuários\\José\x01\"\xff");
  EXPECT_NE(manifest.find("\"path\": \"C:\\\\Usuários\\\\José\\u0001\\\"\xEF\xBF\xBD\","), std::string::npos)
      << manifest;
}

TEST(InstallLayout, NamesInTheInstallFolder) {
  const std::string programs = platform::join_path("home", "Programs");
  const std::string folder = platform::join_path(programs, "Tessiva");
  const auto layout = install_layout(programs);
  EXPECT_EQ(layout.install_folder, folder);
  EXPECT_EQ(layout.executable, platform::join_path(folder, "tessiva.exe"));
  EXPECT_EQ(layout.previous_executable, platform::join_path(folder, "tessiva.exe.old"));
  EXPECT_EQ(layout.chromium_manifest, platform::join_path(folder, "com.orbelle.tessiva.chromium.json"));
  EXPECT_EQ(layout.firefox_manifest, platform::join_path(folder, "com.orbelle.tessiva.firefox.json"));
}

TEST(InstallRegistry, HostKeysInOrderWithTheirManifests) {
  InstallLayout layout;
  layout.chromium_manifest = "C:\\T\\c.json";
  layout.firefox_manifest = "C:\\T\\f.json";
  const std::vector<HostRegistration> want = {
      {"Software\\Google\\Chrome\\NativeMessagingHosts\\com.orbelle.tessiva", "C:\\T\\c.json"},
      {"Software\\Microsoft\\Edge\\NativeMessagingHosts\\com.orbelle.tessiva", "C:\\T\\c.json"},
      {"Software\\Chromium\\NativeMessagingHosts\\com.orbelle.tessiva", "C:\\T\\c.json"},
      {"Software\\Mozilla\\NativeMessagingHosts\\com.orbelle.tessiva", "C:\\T\\f.json"},
  };
  EXPECT_EQ(host_registrations(layout), want);
}

TEST(InstallRegistry, UninstallEntryValuesTypesAndOrder) {
  InstallLayout layout;
  layout.install_folder = "C:\\Users\\Ana\\Programs\\Tessiva";
  layout.executable = "C:\\Users\\Ana\\Programs\\Tessiva\\tessiva.exe";
  const std::vector<platform::RegistryValue> want = {
      {"DisplayName", std::string("Tessiva")},
      {"DisplayVersion", std::string("0.1.0")},
      {"Publisher", std::string("Orbelle Software")},
      {"DisplayIcon", std::string("C:\\Users\\Ana\\Programs\\Tessiva\\tessiva.exe")},
      {"InstallLocation", std::string("C:\\Users\\Ana\\Programs\\Tessiva")},
      {"UninstallString", std::string("\"C:\\Users\\Ana\\Programs\\Tessiva\\tessiva.exe\" --uninstall")},
      {"NoModify", std::uint32_t{1}},
      {"NoRepair", std::uint32_t{1}},
      {"EstimatedSize", std::uint32_t{1023}},
  };
  EXPECT_EQ(uninstall_entry(layout, 1048575), want);
}

TEST(InstallRegistry, EstimatedSizeInKibRoundedDown) {
  const struct {
    std::optional<std::uint64_t> bytes;
    std::uint32_t kib;
  } cases[] = {
      {std::nullopt, 0}, {0, 0}, {1023, 0}, {1024, 1}, {1048575, 1023}, {1048576, 1024},
      {(std::uint64_t{1} << 42) - 1, 0xFFFFFFFF}, {std::uint64_t{1} << 42, 0xFFFFFFFF}, {~std::uint64_t{0}, 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(estimated_size(c.bytes), c.kib) << (c.bytes ? std::to_string(*c.bytes) : "unknown");
  }
}

// The flow, against the fake environment.

class InstallerFlow : public testing::Test {
 protected:
  InstallerFlow() {
    env.programs = platform::join_path("home", "Programs");
    env.running_executable = platform::join_path("downloads", "tessiva.exe");
    env.files[env.running_executable] = {"new program"};
    layout = install_layout(*env.programs);
  }

  /// An earlier installation: the old executable, both manifests and every key.
  void install_old_version() {
    env.folders.insert(layout.install_folder);
    env.files[layout.executable] = {"old program"};
    env.files[layout.chromium_manifest] = {"old"};
    env.files[layout.firefox_manifest] = {"old"};
    for (const auto& key : host_keys()) env.registry[key][""] = std::string("old");
    env.registry[std::string(UNINSTALL_KEY)]["DisplayVersion"] = std::string("0.0.1");
  }

  std::string text(i18n::MessageKey key) const { return std::string(i18n::message_text(env.ui_language, key)); }

  void expect_boxes(const std::vector<std::pair<std::string, platform::MessageBoxKind>>& want) const {
    ASSERT_EQ(env.boxes.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(env.boxes[i].text, want[i].first) << i;
      EXPECT_EQ(env.boxes[i].caption, "Tessiva") << i;
      EXPECT_EQ(env.boxes[i].kind, want[i].second) << i;
    }
  }

  /// The state every successful run leaves, whatever was there before.
  void expect_installed(const std::string& program) {
    ASSERT_TRUE(env.files.contains(layout.executable));
    EXPECT_EQ(env.files[layout.executable].bytes, program);
    EXPECT_EQ(env.files[layout.chromium_manifest].bytes, chromium_manifest(layout.executable));
    EXPECT_EQ(env.files[layout.firefox_manifest].bytes, firefox_manifest(layout.executable));
    EXPECT_FALSE(env.files.contains(layout.staged_executable));
    for (const auto& registration : host_registrations(layout)) {
      const auto& values = env.registry[registration.key];
      ASSERT_EQ(values.size(), 1u) << registration.key;
      EXPECT_EQ(values.at(""), RegistryData{registration.manifest}) << registration.key;
    }
    std::map<std::string, RegistryData> want;
    for (const auto& value : uninstall_entry(layout, program.size())) want[value.name] = value.data;
    EXPECT_EQ(env.registry[std::string(UNINSTALL_KEY)], want);
  }

  FakeEnvironment env;
  InstallLayout layout;
};

TEST_F(InstallerFlow, FirstInstallAsksThenInstalls) {
  env.answers = {platform::MessageBoxAnswer::Yes};
  EXPECT_EQ(run_installer(env, false), EXIT_DONE);
  expect_boxes({{text(i18n::MessageKey::InstallPrompt), platform::MessageBoxKind::Question},
                {text(i18n::MessageKey::InstallDone), platform::MessageBoxKind::Information}});
  expect_installed("new program");
  // The registry is written last, manifests before the keys that name them.
  const std::vector<std::string> first_changes(env.changes.begin(), env.changes.begin() + 5);
  EXPECT_EQ(first_changes, (std::vector<std::string>{
                               "mkdir " + layout.install_folder,
                               "copy " + env.running_executable + " -> " + layout.staged_executable,
                               "rename " + layout.staged_executable + " -> " + layout.executable,
                               "write " + layout.chromium_manifest,
                               "write " + layout.firefox_manifest,
                           }));
  EXPECT_EQ(env.changes.size(), 5u + 4u + 9u);
}

TEST_F(InstallerFlow, AnswersOtherThanYesDeclineAndChangeNothing) {
  using enum platform::MessageBoxAnswer;
  for (const auto answer : {No, Cancel, NotShown}) {
    FakeEnvironment fresh = env;
    fresh.answers = {answer};
    EXPECT_EQ(run_installer(fresh, false), EXIT_DECLINED) << static_cast<int>(answer);
    EXPECT_EQ(fresh.boxes.size(), 1u) << static_cast<int>(answer);
    EXPECT_TRUE(fresh.changes.empty()) << static_cast<int>(answer);
    EXPECT_TRUE(fresh.registry.empty()) << static_cast<int>(answer);
  }
}

TEST_F(InstallerFlow, OkCountsAsYes) {
  env.answers = {platform::MessageBoxAnswer::Ok};
  EXPECT_EQ(run_installer(env, false), EXIT_DONE);
  expect_installed("new program");
}

TEST_F(InstallerFlow, QuietFirstInstallShowsNothing) {
  EXPECT_EQ(run_installer(env, true), EXIT_DONE);
  EXPECT_TRUE(env.boxes.empty());
  expect_installed("new program");
}

TEST_F(InstallerFlow, UpdateAsksNothingAndReplacesEverything) {
  install_old_version();
  env.registry[std::string(UNINSTALL_KEY)]["Stale"] = std::uint32_t{7};
  EXPECT_EQ(run_installer(env, false), EXIT_DONE);
  expect_boxes({{text(i18n::MessageKey::UpdateDone), platform::MessageBoxKind::Information}});
  env.registry[std::string(UNINSTALL_KEY)].erase("Stale");  // values of others are not removed
  expect_installed("new program");
  EXPECT_FALSE(env.files.contains(layout.previous_executable));
}

TEST_F(InstallerFlow, QuietUpdateShowsNothing) {
  install_old_version();
  EXPECT_EQ(run_installer(env, true), EXIT_DONE);
  EXPECT_TRUE(env.boxes.empty());
  expect_installed("new program");
}

TEST_F(InstallerFlow, RunningFromTheInstallLocationCopiesNothing) {
  install_old_version();
  // The same file under another spelling of its path.
  env.running_executable = platform::join_path(layout.install_folder, "TESSIVA.EXE");
  env.aliases[env.running_executable] = layout.executable;
  env.files.erase(platform::join_path("downloads", "tessiva.exe"));
  env.files[layout.executable].running = true;
  EXPECT_EQ(run_installer(env, false), EXIT_DONE);
  expect_boxes({{text(i18n::MessageKey::UpdateDone), platform::MessageBoxKind::Information}});
  for (const auto& change : env.changes) {
    EXPECT_FALSE(change.starts_with("copy") || change.starts_with("rename") || change.starts_with("delete")) << change;
  }
  expect_installed("old program");
}

TEST_F(InstallerFlow, RunningOldVersionIsMovedAsideAndTheNextUpdateDeletesIt) {
  install_old_version();
  env.files[layout.executable].running = true;
  EXPECT_EQ(run_installer(env, true), EXIT_DONE);
  expect_installed("new program");
  ASSERT_TRUE(env.files.contains(layout.previous_executable));
  EXPECT_EQ(env.files[layout.previous_executable].bytes, "old program");

  // The old host has ended by the next update.
  env.files[layout.previous_executable].running = false;
  env.files[env.running_executable] = {"newer program"};
  EXPECT_EQ(run_installer(env, true), EXIT_DONE);
  expect_installed("newer program");
  EXPECT_FALSE(env.files.contains(layout.previous_executable));
}

TEST_F(InstallerFlow, LeftoverStillInUseIsLeftAndTheRunningExecutableMovedOverIt) {
  install_old_version();
  env.files[layout.previous_executable] = {"oldest program", true};
  // Renaming onto a file in use fails, so this update cannot go on.
  env.files[layout.executable].running = true;
  EXPECT_EQ(run_installer(env, true), EXIT_FAILED);
  EXPECT_EQ(env.files[layout.executable].bytes, "old program");
  EXPECT_FALSE(env.files.contains(layout.staged_executable));

  // Once the oldest host has ended, it is deleted and the old one takes its name.
  env.files[layout.previous_executable].running = false;
  EXPECT_EQ(run_installer(env, true), EXIT_DONE);
  expect_installed("new program");
  EXPECT_EQ(env.files[layout.previous_executable].bytes, "old program");
}

TEST_F(InstallerFlow, ExecutableThatCanBeNeitherDeletedNorRenamedFails) {
  install_old_version();
  env.files[layout.executable].open_without_delete_sharing = true;
  EXPECT_EQ(run_installer(env, false), EXIT_FAILED);
  expect_boxes({{text(i18n::MessageKey::InstallFailed) + "\n\nsharing violation", platform::MessageBoxKind::Error}});
  EXPECT_EQ(env.files[layout.executable].bytes, "old program");
  EXPECT_FALSE(env.files.contains(layout.staged_executable));
  EXPECT_EQ(env.files[layout.chromium_manifest].bytes, "old");
}

TEST_F(InstallerFlow, FailedCopyLeavesTheInstalledProgramWhole) {
  install_old_version();
  env.copy_fails = true;
  EXPECT_EQ(run_installer(env, false), EXIT_FAILED);
  expect_boxes({{text(i18n::MessageKey::InstallFailed) + "\n\ndisk full", platform::MessageBoxKind::Error}});
  EXPECT_EQ(env.files[layout.executable].bytes, "old program");
  EXPECT_FALSE(env.files.contains(layout.staged_executable));
}

TEST_F(InstallerFlow, FailuresStopTheInstallation) {
  const struct {
    const char* name;
    void (*arrange)(FakeEnvironment&, const InstallLayout&);
    const char* system_text;
    std::size_t changes;  // how many changes were made before the failure
  } cases[] = {
      {"executable path", [](FakeEnvironment& e, const InstallLayout&) { e.executable_path_fails = true; },
       "no module name", 0},
      {"install folder",
       [](FakeEnvironment& e, const InstallLayout& l) { e.folder_creation_fails.insert(l.install_folder); },
       "folder refused", 0},
      {"Chromium manifest",
       [](FakeEnvironment& e, const InstallLayout& l) { e.write_fails.insert(l.chromium_manifest); },
       "write refused", 3},
      {"Firefox manifest",
       [](FakeEnvironment& e, const InstallLayout& l) { e.write_fails.insert(l.firefox_manifest); },
       "write refused", 4},
      {"Edge key", [](FakeEnvironment& e, const InstallLayout&) { e.registry_key_fails.insert(host_keys()[1]); },
       "access denied", 6},
      {"uninstall entry",
       [](FakeEnvironment& e, const InstallLayout&) { e.registry_key_fails.insert(std::string(UNINSTALL_KEY)); },
       "access denied", 9},
  };
  for (const auto& c : cases) {
    FakeEnvironment fresh = env;
    c.arrange(fresh, layout);
    fresh.answers = {platform::MessageBoxAnswer::Yes};
    EXPECT_EQ(run_installer(fresh, false), EXIT_FAILED) << c.name;
    ASSERT_EQ(fresh.boxes.size(), 2u) << c.name;
    EXPECT_EQ(fresh.boxes[1].text, text(i18n::MessageKey::InstallFailed) + "\n\n" + c.system_text) << c.name;
    EXPECT_EQ(fresh.boxes[1].kind, platform::MessageBoxKind::Error) << c.name;
    // Nothing is rolled back, and nothing after the failure is attempted.
    EXPECT_EQ(fresh.changes.size(), c.changes) << c.name;

    FakeEnvironment quiet = env;
    c.arrange(quiet, layout);
    EXPECT_EQ(run_installer(quiet, true), EXIT_FAILED) << c.name;
    EXPECT_TRUE(quiet.boxes.empty()) << c.name;
  }
}

TEST_F(InstallerFlow, NoProgramsFolderFailsWithTheReasonBeforeAsking) {
  for (bool quiet : {false, true}) {
    FakeEnvironment fresh = env;
    fresh.programs.reset();
    EXPECT_EQ(run_installer(fresh, quiet), EXIT_FAILED);
    EXPECT_TRUE(fresh.changes.empty());
    if (quiet) {
      EXPECT_TRUE(fresh.boxes.empty());
    } else {
      ASSERT_EQ(fresh.boxes.size(), 1u);
      EXPECT_EQ(fresh.boxes[0].text, std::string(i18n::message_text(i18n::Language::En, i18n::MessageKey::InstallFailed)) +
                                         "\n\nno programs folder");
      EXPECT_EQ(fresh.boxes[0].kind, platform::MessageBoxKind::Error);
    }
  }
}

TEST_F(InstallerFlow, TextsInTheLanguageOfTheSettings) {
  env.ui_language = i18n::Language::PtBr;
  env.answers = {platform::MessageBoxAnswer::Yes};
  EXPECT_EQ(run_installer(env, false), EXIT_DONE);
  expect_boxes({{"Instalar o Tessiva neste computador? A extensão do navegador usa este programa para salvar os "
                 "arquivos e abri-los nos seus aplicativos.",
                 platform::MessageBoxKind::Question},
                {"O Tessiva foi instalado. Clique com o botão direito num arquivo no navegador e escolha Abrir com.",
                 platform::MessageBoxKind::Information}});

  env.ui_language = i18n::Language::Es;
  env.boxes.clear();
  EXPECT_EQ(run_installer(env, false), EXIT_DONE);
  expect_boxes({{"Tessiva se actualizó.", platform::MessageBoxKind::Information}});
}

}  // namespace
}  // namespace tessiva::install
