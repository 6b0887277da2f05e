#include "open/save_and_open.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "config/validation.h"
#include "native_paths.h"
#include "platform/files.h"
#include "temp_folder.h"
#include "text/paths.h"

namespace tessiva::open {
namespace {

using messages::HostError;
using nlohmann::json;
namespace fs = std::filesystem;
namespace code = messages::error_code;

HostError error(std::string_view c) { return HostError{c, std::nullopt}; }

fs::path fs_path(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

/// `path` in a form that passes the Windows absolute-path rule on both builds: native
/// paths get a second leading slash ("//tmp/x" is "/tmp/x" to POSIX and a UNC-like
/// absolute path to the rule).
std::string windows_absolute(const std::string& path) {
  return text::is_absolute_windows_path(path) ? path : "/" + path;
}

const std::string VIEWER = test::native_absolute("C:\\Apps\\Viewer\\viewer.exe", "/opt/Viewer/viewer");

class SaveAndOpen : public ::testing::Test {
 protected:
  test::TempFolder temp;
  /// The settings handed to every save.
  config::Config settings;
  std::string save_folder = windows_absolute(platform::join_path(temp.path(), "saved"));
  std::string in_folder = windows_absolute(platform::join_path(temp.path(), "in"));
  std::vector<LaunchJob> jobs;
  /// Launches of these kinds fail with "no launcher".
  bool fail_open = false, fail_reveal = false;

  void SetUp() override {
    ASSERT_TRUE(platform::create_folders(in_folder));
    config::Config c = config::default_config();
    c.name_pattern = "{name}";
    c.apps.push_back({"viewer", "Viewer", VIEWER, "-p {file}", {"pdf"}});
    c.type_defaults["pdf"] = "handler:Acro Reader";
    c.type_defaults["txt"] = "viewer";
    use(c);
  }

  void use(config::Config c) {
    c.save_folder = save_folder;
    ASSERT_TRUE(config::validate_config(c)) << "the settings must be valid";
    settings = std::move(c);
  }

  config::Config current() const { return settings; }
  config::SettingsLoader loader() const {
    return [this] { return settings; };
  }

  std::string source(std::string_view name, std::string_view contents = "contents") {
    const std::string path = platform::join_path(in_folder, name);
    auto file = platform::create_truncate(path);
    EXPECT_TRUE(file);
    if (file) {
      EXPECT_TRUE(file->write(contents));
    }
    return path;
  }

  /// Saves `from`, opened as "open_file" opens it (a source that cannot be opened is
  /// passed as a file that is not open, which can be neither moved nor copied).
  messages::HandlerResult save(const std::string& from, std::string_view name, const Target& target) {
    auto held = platform::open_source(from).value_or(platform::File());
    return save(from, held, name, target);
  }

  messages::HandlerResult save(const std::string& from, platform::File& held, std::string_view name,
                               const Target& target) {
    return save_and_open(settings, from, held, name, target, [&](const LaunchJob& job) -> std::expected<void, std::string> {
      jobs.push_back(job);
      const bool reveal = std::holds_alternative<Launch::Reveal>(job.launch);
      if (reveal ? fail_reveal : fail_open) return std::unexpected("no launcher");
      return {};
    });
  }

  std::string saved(std::string_view name) const { return platform::join_path(save_folder, name); }

  /// The names in the save folder, sorted.
  std::vector<std::string> saved_names() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fs_path(save_folder), ignored)) {
      const auto u8 = entry.path().filename().u8string();
      names.emplace_back(u8.begin(), u8.end());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  static bool exists(const std::string& path) { return static_cast<bool>(platform::file_attributes(path)); }
  static std::string contents(const std::string& path) { return platform::read_file(path).value_or("<missing>"); }
};

json saved_path(const std::string& path) { return json{{"saved_path", path}}; }

TEST_F(SaveAndOpen, CollisionsGetTheNextCounterAndTheSourceMoves) {
  const std::string first = source("a.tmp", "one");
  EXPECT_EQ(save(first, "Report.pdf", target::SaveOnly{}), saved_path(saved("Report.pdf")));
  EXPECT_FALSE(exists(first));
  const std::string second = source("b.tmp", "two");
  EXPECT_EQ(save(second, "Report.pdf", target::SaveOnly{}), saved_path(saved("Report_2.pdf")));
  EXPECT_FALSE(exists(second));
  EXPECT_EQ(contents(saved("Report.pdf")), "one");
  EXPECT_EQ(contents(saved("Report_2.pdf")), "two");
  EXPECT_TRUE(jobs.empty());
}

TEST_F(SaveAndOpen, TargetsResolveAgainstTheSettings) {
  const Launch viewer = Launch::App{VIEWER, "-p {file}"};
  struct Case {
    const char* what;
    std::string name;
    Target target;
    std::optional<Launch> launch;  // none: the file is only saved
  };
  const Case cases[] = {
      {"app by id", "notes.md", target::App{"viewer"}, viewer},
      {"handler with the lower-cased type", "Scan.JPEG", target::Handler{"Photos"}, Launch::Handler{"Photos", "jpeg"}},
      {"handler without a type", "README", target::Handler{"Notepad"}, Launch::Handler{"Notepad", ""}},
      {"default 'Report.PDF' looks up 'pdf'", "Report.PDF", target::Default{},
       Launch::Handler{"Acro Reader", "pdf"}},
      {"default naming an application", "a.b.TXT", target::Default{}, viewer},
      {"save only", "x.pdf", target::SaveOnly{}, std::nullopt},
  };
  for (const auto& c : cases) {
    jobs.clear();
    const auto reply = save(source("in.tmp"), c.name, c.target);
    ASSERT_TRUE(reply) << c.what;
    const std::string dest = (*reply)["saved_path"].get<std::string>();
    EXPECT_TRUE(exists(dest)) << c.what;
    if (!c.launch) {
      EXPECT_TRUE(jobs.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(jobs.size(), 1u) << c.what;
    EXPECT_EQ(jobs[0], (LaunchJob{*c.launch, dest})) << c.what;
  }
}

TEST_F(SaveAndOpen, ResolutionErrorsComeBeforeAnythingIsSaved) {
  struct Case {
    std::string name;
    Target target;
    std::string_view code;
  };
  const Case cases[] = {
      {"Report.pdf", target::App{"Viewer"}, code::APP_NOT_FOUND},  // ids match exactly
      {"Report.pdf", target::App{""}, code::APP_NOT_FOUND},
      {"README", target::Default{}, code::NO_DEFAULT},
      {".bashrc", target::Default{}, code::NO_DEFAULT},
      {"archive.zip", target::Default{}, code::NO_DEFAULT},
      {"x.pdf ", target::Default{}, code::NO_DEFAULT},  // the key keeps its space: 'pdf '
  };
  for (const auto& c : cases) {
    const std::string from = source("keep.tmp", "kept");
    EXPECT_EQ(save(from, c.name, c.target), std::unexpected(error(c.code))) << c.name;
    EXPECT_EQ(contents(from), "kept") << c.name;
  }
  EXPECT_TRUE(saved_names().empty());
  EXPECT_TRUE(jobs.empty());
}

TEST_F(SaveAndOpen, RevealAfterSaveStartsASecondLauncherAfterTheFirst) {
  auto c = current();
  c.reveal_after_save = true;
  use(c);
  const auto reply = save(source("in.tmp"), "Report.pdf", target::Default{});
  ASSERT_EQ(reply, saved_path(saved("Report.pdf")));
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0], (LaunchJob{Launch::Handler{"Acro Reader", "pdf"}, saved("Report.pdf")}));
  EXPECT_EQ(jobs[1], (LaunchJob{Launch::Reveal{}, saved("Report.pdf")}));

  jobs.clear();
  EXPECT_EQ(save(source("in.tmp"), "Report.pdf", target::SaveOnly{}), saved_path(saved("Report_2.pdf")));
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0], (LaunchJob{Launch::Reveal{}, saved("Report_2.pdf")}));

  // A reveal that cannot start is not an error.
  jobs.clear();
  fail_reveal = true;
  EXPECT_EQ(save(source("in.tmp"), "Report.pdf", target::SaveOnly{}), saved_path(saved("Report_3.pdf")));
  EXPECT_EQ(jobs.size(), 1u);
}

TEST_F(SaveAndOpen, LaunchFailureKeepsTheFileSavedAndSkipsTheReveal) {
  auto c = current();
  c.reveal_after_save = true;
  use(c);
  fail_open = true;
  const std::string from = source("in.tmp", "data");
  EXPECT_EQ(save(from, "Report.pdf", target::App{"viewer"}),
            std::unexpected(HostError{code::LAUNCH_FAILED, "no launcher"}));
  EXPECT_EQ(jobs.size(), 1u);
  EXPECT_FALSE(exists(from));
  EXPECT_EQ(contents(saved("Report.pdf")), "data");
}

TEST_F(SaveAndOpen, ASourceThatCanBeNeitherMovedNorCopiedLeavesNothingBehind) {
  const std::string gone = platform::join_path(in_folder, "gone.tmp");
  const auto reply = save(gone, "Report.pdf", target::App{"viewer"});
  ASSERT_FALSE(reply);
  EXPECT_EQ(reply.error().code, code::IO_ERROR);
  ASSERT_TRUE(reply.error().detail);
  EXPECT_NE(reply.error().detail->find(" (os error "), std::string::npos) << *reply.error().detail;
  EXPECT_TRUE(saved_names().empty());
  EXPECT_TRUE(jobs.empty());
}

TEST_F(SaveAndOpen, ACopyThatFailsPartWayLeavesNothingBehind) {
  // A folder as the source: the rename onto the name-holding file is refused, and the
  // copy fails after it has opened (and truncated) the destination.
  const std::string probe_folder = platform::join_path(in_folder, "probe");
  ASSERT_TRUE(platform::create_folders(probe_folder));
  if (platform::rename_replace(probe_folder, source("probe.tmp"))) {
    GTEST_SKIP() << "this system moves a folder onto a file (Wine does)";
  }
  const std::string folder = platform::join_path(in_folder, "folder");
  ASSERT_TRUE(platform::create_folders(folder));
  const auto reply = save(folder, "Report.pdf", target::SaveOnly{});
  ASSERT_FALSE(reply);
  EXPECT_EQ(reply.error().code, code::IO_ERROR);
  EXPECT_TRUE(saved_names().empty());
  EXPECT_TRUE(platform::file_attributes(folder).value_or(platform::FileAttributes{}).is_directory);
}

TEST_F(SaveAndOpen, WhatIsSavedIsTheFileThatWasOpenedNotWhatTookItsName) {
  const std::string path = source("in.tmp", "held");
  auto held = platform::open_source(path);
  ASSERT_TRUE(held) << held.error().text();
  if (!platform::rename_replace(source("other.tmp", "put in its place"), path))
    GTEST_SKIP() << "this system replaces no file that is open (Windows)";
  const auto reply = save(path, *held, "Report.pdf", target::SaveOnly{});
  ASSERT_TRUE(reply) << reply.error().code;
  EXPECT_EQ(*reply, saved_path(saved("Report.pdf")));
  EXPECT_EQ(contents(saved("Report.pdf")), "held");
  EXPECT_EQ(contents(path), "put in its place");
  EXPECT_FALSE(held->is_open());
  // Only the copy was left to the sweep of the next save, and there is none.
  EXPECT_EQ(saved_names(), std::vector<std::string>{"Report.pdf"});
}

TEST_F(SaveAndOpen, HostileNamesStayInsideTheSaveFolder) {
  const std::string names[] = {"../../evil.pdf", "..\\..\\evil.exe", "a/b\\c.txt", "..", ".", "/", "\\\\srv\\s\\x",
                               "C:\\Windows\\win.ini", "x\xc0\xaf..\\y", "con", std::string("a\0b", 3)};
  for (const auto& name : names) {
    const auto reply = save(source("in.tmp"), name, target::SaveOnly{});
    ASSERT_TRUE(reply) << name;
  }
  const auto stored = saved_names();
  EXPECT_EQ(stored.size(), std::size(names));
  for (const auto& name : stored) {
    EXPECT_EQ(name.find_first_of(std::string_view("/\\\0", 3)), std::string::npos) << name;
    EXPECT_NE(name, "..");
  }
}

TEST_F(SaveAndOpen, SaveFolderThatCannotBeMadeIsAnIoError) {
  const std::string blocker = source("blocker", "x");
  auto c = current();
  save_folder = platform::join_path(blocker, "sub");
  use(c);
  const std::string from = source("in.tmp", "kept");
  const auto reply = save(from, "Report.pdf", target::SaveOnly{});
  ASSERT_FALSE(reply);
  EXPECT_EQ(reply.error().code, code::IO_ERROR);
  EXPECT_TRUE(reply.error().detail && reply.error().detail->ends_with(")"));
  EXPECT_EQ(contents(from), "kept");
}

TEST(SourceAge, NineHundredSecondsPassAndAnyFractionMoreFails) {
  using namespace std::chrono;
  const system_clock::time_point now = system_clock::now();
  const struct {
    system_clock::duration age;
    bool too_old;
  } cases[] = {
      {seconds(0), false},
      {seconds(899), false},
      {seconds(900), false},
      {seconds(900) + system_clock::duration(1), true},
      {seconds(901), true},
      {hours(24 * 365), true},
      {-seconds(1), false},  // written in the future
      {-hours(24 * 365), false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(is_source_too_old(now, now - c.age), c.too_old) << duration_cast<nanoseconds>(c.age).count();
}

TEST(ReadTarget, KindsAndTheirMembers) {
  struct Case {
    json request;
    std::optional<Target> want;
  };
  const Case cases[] = {
      {{{"target", {{"kind", "app"}, {"app_id", "a1"}}}}, target::App{"a1"}},
      {{{"target", {{"kind", "app"}, {"app_id", ""}, {"handler_id", 5}, {"x", nullptr}}}}, target::App{""}},
      {{{"target", {{"kind", "handler"}, {"handler_id", "C:\\h.exe"}}}}, target::Handler{"C:\\h.exe"}},
      {{{"target", {{"kind", "default"}, {"app_id", 1}}}}, target::Default{}},
      {{{"target", {{"kind", "save_only"}}}}, target::SaveOnly{}},
      {{{"target", {{"kind", "app"}}}}, std::nullopt},
      {{{"target", {{"kind", "app"}, {"app_id", 7}}}}, std::nullopt},
      {{{"target", {{"kind", "handler"}, {"app_id", "a1"}}}}, std::nullopt},
      {{{"target", {{"kind", "handler"}, {"handler_id", nullptr}}}}, std::nullopt},
      {{{"target", {{"kind", "App"}, {"app_id", "a1"}}}}, std::nullopt},
      {{{"target", {{"kind", "reveal"}}}}, std::nullopt},
      {{{"target", {{"kind", 1}}}}, std::nullopt},
      {{{"target", json::object()}}, std::nullopt},
      {{{"target", "save_only"}}, std::nullopt},
      {{{"target", json::array({{{"kind", "save_only"}}})}}, std::nullopt},
      {{{"kind", "save_only"}}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(read_target(c.request), c.want) << c.request.dump();
}

class OpenFile : public SaveAndOpen {
 protected:
  static json request(const std::string& from, const json& target = {{"kind", "save_only"}}) {
    return {{"type", "open_file"}, {"source_path", from}, {"original_name", "Report.pdf"}, {"target", target}};
  }
  static void age(const std::string& path, std::chrono::seconds by) {
    fs::last_write_time(fs_path(path), fs::file_time_type::clock::now() - by);
  }
};

TEST_F(OpenFile, ChecksComeInTheirOrder) {
  const std::string fresh = source("fresh.tmp");
  const std::string old = source("old.tmp");
  age(old, std::chrono::hours(2));
  const std::string missing = platform::join_path(in_folder, "missing.tmp");
  const json bad_target = {{"kind", "app"}};
  const auto invalid = std::unexpected(HostError::invalid_request());
  struct Case {
    const char* what;
    json request;
    messages::HandlerResult want;
  };
  const auto without = [](json r, const char* key) {
    r.erase(key);
    return r;
  };
  const auto with = [](json r, const char* key, json value) {
    r[key] = std::move(value);
    return r;
  };
  const Case cases[] = {
      {"no source_path", without(request(missing), "source_path"), invalid},
      {"source_path not a string", with(request(fresh), "source_path", 1), invalid},
      {"no original_name, before the path is looked at", without(request(missing), "original_name"), invalid},
      {"original_name not a string", with(request(fresh), "original_name", nullptr), invalid},
      {"relative 'C:file.txt'", with(request(fresh), "source_path", "C:file.txt"), invalid},
      {"rooted without a drive", with(request(fresh), "source_path", "\\dir\\file.txt"), invalid},
      {"a missing file, before the target", request(missing, bad_target), std::unexpected(error(code::NOT_FOUND))},
      {"a folder", request(in_folder, bad_target), invalid},
      {"too old, before the target", request(old, bad_target), std::unexpected(error(code::SOURCE_TOO_OLD))},
      {"a bad target", request(fresh, bad_target), invalid},
      {"no target", without(request(fresh), "target"), invalid},
  };
  for (const auto& c : cases) EXPECT_EQ(handle_open_file(c.request, loader()), c.want) << c.what;
  EXPECT_TRUE(saved_names().empty());
  EXPECT_TRUE(exists(fresh));
  EXPECT_TRUE(exists(old));
}

TEST_F(OpenFile, SavesAFreshFileAndThenNoLongerFindsIt) {
  const std::string from = source("fresh.tmp", "pdf bytes");
  EXPECT_EQ(handle_open_file(request(from), loader()), saved_path(saved("Report.pdf")));
  EXPECT_EQ(contents(saved("Report.pdf")), "pdf bytes");
  EXPECT_EQ(handle_open_file(request(from), loader()), std::unexpected(error(code::NOT_FOUND)));

  const std::string future = source("future.tmp");
  age(future, -std::chrono::hours(1));
  EXPECT_EQ(handle_open_file(request(future), loader()), saved_path(saved("Report_2.pdf")));
}

}  // namespace
}  // namespace tessiva::open
