#include "install/linux/home_install.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "install/manifests.h"
#include "install/system.h"

namespace tessiva::install {
namespace {

using platform::OsError;
using platform::Result;

/// A home folder in memory, with paths whose writes fail. (The flows themselves are
/// tested end to end in test_linux_install.py; these are the cases it cannot make.)
class FakeHome : public HomeEnvironment {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> folders;
  std::map<std::string, std::string> variables{{"HOME", "/home/ana"}};
  std::string running = "/tmp/dl/tessiva";
  std::set<std::string> failing_writes;
  std::map<std::string, std::string> links;
  std::string out, err;

  i18n::Language language() override { return i18n::Language::En; }
  Result<std::string> executable_path() override { return running; }
  std::optional<std::string> variable(const std::string& name) override {
    const auto it = variables.find(name);
    return it == variables.end() ? std::nullopt : std::optional(it->second);
  }
  bool is_folder(const std::string& path) override { return folders.contains(path); }
  bool file_exists(const std::string& path) override { return files.contains(path) || folders.contains(path); }
  Result<std::string> canonical_path(const std::string& path) override {
    if (!file_exists(path)) return std::unexpected(OsError{2, "not found"});
    return path;
  }
  Result<std::string> read_file(const std::string& path) override {
    if (!files.contains(path)) return std::unexpected(OsError{2, "not found"});
    return files[path];
  }
  Result<void> create_folders(const std::string& path) override {
    for (auto slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
      folders.insert(path.substr(0, slash));
    folders.insert(path);
    return {};
  }
  Result<void> write_file(const std::string& path, std::string_view bytes) override {
    for (const auto& failing : failing_writes)
      if (path.starts_with(failing)) return std::unexpected(OsError{13, "denied"});
    files[path] = bytes;
    return {};
  }
  Result<void> copy_executable(const std::string& from, const std::string& to) override {
    return write_file(to, "program from " + from);
  }
  Result<void> rename_replace(const std::string& from, const std::string& to) override {
    files[to] = files[from];
    files.erase(from);
    return {};
  }
  Result<void> delete_file(const std::string& path) override {
    links.erase(path);
    if (files.erase(path) == 0) return std::unexpected(OsError{2, "not found"});
    return {};
  }
  Result<void> remove_empty_folder(const std::string& path) override {
    for (const auto& [file, _] : files)
      if (file.starts_with(path + "/")) return std::unexpected(OsError{39, "not empty"});
    folders.erase(path);
    return {};
  }
  Result<std::string> link_target(const std::string& path) override {
    const auto it = links.find(path);
    if (it == links.end()) return std::unexpected(OsError{22, "not a link"});
    return it->second;
  }
  Result<void> create_link(const std::string& target, const std::string& path) override {
    if (file_exists(path)) return std::unexpected(OsError{17, "exists"});
    links[path] = target;
    files[path] = "link";
    return {};
  }
  Result<void> make_executable(const std::string& path) override {
    if (!files.contains(path)) return std::unexpected(OsError{2, "not found"});
    return {};
  }
  std::vector<std::vector<std::string>> runs;
  int run_status = 0;
  Result<int> run_program(const std::string& program, const std::vector<std::string>& argv) override {
    runs.push_back(argv);
    runs.back().insert(runs.back().begin(), program);
    return run_status;
  }
  bool input_is_terminal() override { return false; }
  std::optional<std::string> read_answer() override { return std::nullopt; }
  void print(std::string_view text) override { out += text; }
  void print_error(std::string_view text) override { err += text; }
};

constexpr const char* PROGRAM = "/home/ana/.local/lib/tessiva/tessiva";
constexpr const char* CHROME = "/home/ana/.config/google-chrome/NativeMessagingHosts/com.orbelle.tessiva.json";
constexpr const char* FIREFOX = "/home/ana/.mozilla/native-messaging-hosts/com.orbelle.tessiva.json";

TEST(HomeInstall, ConfigHomeComesFromAnAbsoluteXdgConfigHomeOnly) {
  FakeHome home;
  home.variables["XDG_CONFIG_HOME"] = "/cfg";
  ASSERT_EQ(run_home_installer(home, true), EXIT_DONE);
  EXPECT_TRUE(home.files.contains("/cfg/chromium/NativeMessagingHosts/com.orbelle.tessiva.json"));
  FakeHome relative;
  relative.variables["XDG_CONFIG_HOME"] = "cfg";
  ASSERT_EQ(run_home_installer(relative, true), EXIT_DONE);
  EXPECT_TRUE(relative.files.contains(CHROME));
  FakeHome homeless;
  homeless.variables.clear();
  EXPECT_EQ(run_home_installer(homeless, false), EXIT_FAILED);
  EXPECT_TRUE(homeless.files.empty());
  EXPECT_NE(homeless.err.find("HOME"), std::string::npos);
}

TEST(HomeInstall, TheSystemWidePackageDoesNotInstallForTheUser) {
  FakeHome home;
  home.running = "/usr/lib/tessiva/tessiva";
  EXPECT_EQ(run_home_installer(home, false), EXIT_DONE);
  EXPECT_TRUE(home.files.empty());
  EXPECT_NE(home.out.find("system-wide"), std::string::npos);
  // A sandbox's wrapper starts the package's program; only the records go in the home.
  FakeHome sandboxed;
  sandboxed.running = "/usr/lib/tessiva/tessiva";
  sandboxed.files["/usr/bin/flatpak"] = "program";
  sandboxed.variables["PATH"] = "/usr/bin";
  EXPECT_EQ(run_home_installer(sandboxed, true, {"org.chromium.Chromium"}), EXIT_DONE);
  EXPECT_FALSE(sandboxed.files.contains(PROGRAM));
  EXPECT_NE(sandboxed.files["/home/ana/.var/app/org.chromium.Chromium/config/chromium/NativeMessagingHosts/"
                            "com.orbelle.tessiva.sh"]
                .find("--host /usr/lib/tessiva/tessiva \"$@\""),
            std::string::npos);
  EXPECT_EQ(sandboxed.files["/home/ana/.local/lib/tessiva/granted-permissions"], "org.chromium.Chromium\n");
  EXPECT_EQ(run_home_uninstaller(sandboxed, true), EXIT_DONE);
  EXPECT_EQ(sandboxed.runs.size(), 2U);
  std::erase_if(sandboxed.files, [](const auto& file) { return file.first.starts_with("/home/"); });
  EXPECT_EQ(sandboxed.files.size(), 1U);
  // A folder that merely starts with the same name is no package.
  home.running = "/usr/lib/tessiva-old/tessiva";
  EXPECT_EQ(run_home_installer(home, true), EXIT_DONE);
  EXPECT_TRUE(home.files.contains(PROGRAM));
}

TEST(HomeInstall, OneBrowserFailingDoesNotStopTheOthers) {
  FakeHome home;
  home.failing_writes.insert("/home/ana/.config/google-chrome/");
  EXPECT_EQ(run_home_installer(home, false), EXIT_FAILED);
  EXPECT_TRUE(home.files.contains(FIREFOX));
  EXPECT_NE(home.err.find("Google Chrome, /home/ana/.config/google-chrome/NativeMessagingHosts: denied"),
            std::string::npos)
      << home.err;
  EXPECT_EQ(home.out.find("was installed"), std::string::npos);
}

TEST(HomeInstall, ThePermissionForASandboxIsRunOrPrintedNeverClaimed) {
  constexpr const char* WRAPPER =
      "/home/ana/.var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser/NativeMessagingHosts/"
      "com.orbelle.tessiva.sh";
  // No flatpak command: the wrapper is written, the permission printed for the user.
  FakeHome home;
  home.variables["PATH"] = "/usr/bin";
  ASSERT_EQ(run_home_installer(home, false, {"com.brave.Browser"}), EXIT_DONE);
  EXPECT_TRUE(home.files.contains(WRAPPER));
  EXPECT_TRUE(home.runs.empty());
  EXPECT_NE(home.out.find("Brave (Flatpak): it still needs the permission to start programs outside its sandbox. "
                          "Run: flatpak override --user --talk-name=org.freedesktop.Flatpak com.brave.Browser\n"),
            std::string::npos)
      << home.out;
  EXPECT_FALSE(home.files.contains("/home/ana/.local/lib/tessiva/granted-permissions"));

  // A flatpak command that fails: a failure, nothing recorded as granted.
  FakeHome failing;
  failing.variables["PATH"] = "/opt/fp";
  failing.files["/opt/fp/flatpak"] = "program";
  failing.run_status = 1;
  ASSERT_EQ(run_home_installer(failing, false, {"com.brave.Browser"}), EXIT_FAILED);
  ASSERT_EQ(failing.runs.size(), 1U);
  EXPECT_EQ(failing.runs[0], (std::vector<std::string>{"/opt/fp/flatpak", "flatpak", "override", "--user",
                                                        "--talk-name=org.freedesktop.Flatpak", "com.brave.Browser"}));
  EXPECT_FALSE(failing.files.contains("/home/ana/.local/lib/tessiva/granted-permissions"));
  EXPECT_EQ(failing.out.find("allowed to start"), std::string::npos);
  // The uninstaller then has no permission of ours to take back.
  ASSERT_EQ(run_home_uninstaller(failing, true), EXIT_DONE);
  EXPECT_EQ(failing.runs.size(), 1U);
  EXPECT_FALSE(failing.files.contains(WRAPPER));
}

}  // namespace
}  // namespace tessiva::install
