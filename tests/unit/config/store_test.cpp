#include "config/store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "native_paths.h"
#include "config/writer.h"
#include "platform/files.h"
#include "temp_folder.h"

namespace tessiva::config {
namespace {

using platform::join_path;

class ConfigStore : public ::testing::Test {
 protected:
  test::TempFolder temp;
  std::string folder = join_path(temp.path(), "Tessiva");
  std::string path = join_path(folder, "config.json");

  std::string contents(const std::string& p) { return platform::read_file(p).value_or("<missing>"); }
  void put(const std::string& p, std::string_view text) {
    auto file = platform::create_truncate(p);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write(text));
  }
  Config themed(std::string theme) {
    Config c = default_config();
    c.theme = std::move(theme);
    return c;
  }
};

TEST_F(ConfigStore, LoadingNothingGivesTheDefaultsAndCreatesNothing) {
  EXPECT_EQ(load_config_file(path), default_config());
  EXPECT_FALSE(platform::file_attributes(folder));
}

TEST_F(ConfigStore, StoresTheExactTextAndReadsItBack) {
  Config c = themed("dark");
  c.apps.push_back({"a1", "Ed\xc3\xadtor", test::native_absolute("C:\\x\\e.exe", "/opt/x/e"), "-n \"{file}\"", {"txt"}});
  c.type_defaults["txt"] = "a1";
  ASSERT_TRUE(store_config_file(folder, path, c));
  EXPECT_EQ(contents(path), write_config_json(c));
  EXPECT_EQ(load_config_file(path), c);
  EXPECT_FALSE(platform::file_attributes(temporary_path(path)));
  // A second store replaces the first; a deleted folder is made again.
  ASSERT_TRUE(store_config_file(folder, path, default_config()));
  EXPECT_EQ(contents(path), write_config_json(default_config()));
  ASSERT_TRUE(platform::delete_file(path));
  ASSERT_TRUE(std::filesystem::remove(folder));
  ASSERT_TRUE(store_config_file(folder, path, c));
  EXPECT_EQ(load_config_file(path), c);
}

TEST_F(ConfigStore, AnyFaultInTheFileGivesTheWholeDefaults) {
  ASSERT_TRUE(platform::create_folders(folder));
  const std::string good = write_config_json(themed("dark"));
  for (const std::string& text : {"\xef\xbb\xbf" + good, good + " x", good.substr(0, good.size() - 1) + ",}",
                                  std::string(R"({"version":1,"theme":"dark","extra":1})"),
                                  std::string(R"({"version":2,"theme":"dark"})"), std::string(R"({"theme":"dark"})"),
                                  std::string(R"({"version":1,"theme":"Dark"})"), std::string()}) {
    put(path, text);
    EXPECT_EQ(load_config_file(path), default_config()) << text;
    EXPECT_EQ(contents(path), text);  // left as it was
  }
  put(path, " \r\n\t" + good + "\n");
  EXPECT_EQ(load_config_file(path), themed("dark"));
}

TEST_F(ConfigStore, AFailedStoreLeavesTheOldFileWhole) {
  ASSERT_TRUE(store_config_file(folder, path, themed("dark")));
  const std::string before = contents(path);

  // The temporary file cannot be written: a folder stands in its place.
  ASSERT_TRUE(platform::create_folders(temporary_path(path)));
  const auto no_temp = store_config_file(folder, path, themed("light"));
  ASSERT_FALSE(no_temp);
  EXPECT_TRUE(no_temp.error().ends_with(")")) << no_temp.error();
  EXPECT_NE(no_temp.error().find(" (os error "), std::string::npos) << no_temp.error();
  EXPECT_EQ(contents(path), before);
  ASSERT_TRUE(std::filesystem::remove(temporary_path(path)));

  // The rename cannot replace the target: config.json is a folder.
  const std::string other = join_path(temp.path(), "other");
  const std::string blocked = join_path(other, "config.json");
  ASSERT_TRUE(platform::create_folders(blocked));
  const auto no_rename = store_config_file(other, blocked, themed("light"));
  ASSERT_FALSE(no_rename);
  EXPECT_NE(no_rename.error().find(" (os error "), std::string::npos) << no_rename.error();
  EXPECT_TRUE(platform::file_attributes(blocked)->is_directory);
  // A failed store leaves no temporary file behind.
  EXPECT_FALSE(platform::file_attributes(temporary_path(blocked)));
  ASSERT_TRUE(store_config_file(folder, path, themed("light")));
  EXPECT_EQ(load_config_file(path), themed("light"));
}

TEST(TemporaryFileOwner, OnlyTheExactNameShapeHasAnOwner) {
  EXPECT_EQ(temporary_file_owner("config.json.4242.tmp", "config.json"), 4242u);
  EXPECT_EQ(temporary_file_owner("config.json.4294967295.tmp", "config.json"), 4294967295u);
  for (const char* name : {"config.json.4294967296.tmp", "config.json.04242.tmp", "config.json.0.tmp",
                           "config.json..tmp", "config.json.+4242.tmp", "config.json.-1.tmp", "config.json.42a.tmp",
                           "config.json.4242.TMP", "config.json.4242.tmp.bak", "config.json.4242", "config.json",
                           "other.json.4242.tmp", "xconfig.json.4242.tmp", "config.json_4242.tmp", "notes.txt"})
    EXPECT_EQ(temporary_file_owner(name, "config.json"), std::nullopt) << name;
}

TEST_F(ConfigStore, AStoreRemovesOnlyTheTemporaryFilesOfEndedProcesses) {
  ASSERT_TRUE(platform::create_folders(folder));
  // No process can have the largest id; the others are not temporary files of
  // config.json, and a folder is never touched.
  const std::string ended = path + ".4294967295.tmp";
  const std::vector<std::string> kept = {path + ".04242.tmp", join_path(folder, "other.json.4294967295.tmp"),
                                         join_path(folder, "notes.txt")};
  put(ended, "{");
  for (const auto& p : kept) put(p, "x");
  ASSERT_TRUE(platform::create_folders(path + ".4294967294.tmp"));
  ASSERT_TRUE(store_config_file(folder, path, themed("dark")));
  EXPECT_FALSE(platform::file_attributes(ended));
  for (const auto& p : kept) EXPECT_EQ(contents(p), "x") << p;
  EXPECT_TRUE(platform::file_attributes(path + ".4294967294.tmp"));
  EXPECT_EQ(load_config_file(path), themed("dark"));
}

}  // namespace
}  // namespace tessiva::config
