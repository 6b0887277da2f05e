#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/windows/known_folders.h"
#include "windows/wine.h"

namespace tessiva::platform {
namespace {

/// "X:\..." or "\\server\share...": the forms a known folder comes in.
bool is_absolute(const std::string& path) {
  const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                     path[2] == '\\';
  return drive || path.starts_with("\\\\");
}

TEST(WindowsKnownFolders, ProfileFoldersAreExistingAbsoluteFolders) {
  for (KnownFolder folder : {KnownFolder::RoamingAppData, KnownFolder::LocalAppData, KnownFolder::Documents}) {
    const auto path = known_folder_path(folder);
    ASSERT_TRUE(path) << static_cast<int>(folder);
    EXPECT_TRUE(is_absolute(*path)) << *path;
    EXPECT_NE(path->back(), '\\') << *path;
    const auto attributes = file_attributes(*path);
    ASSERT_TRUE(attributes) << *path << ": " << attributes.error().text();
    EXPECT_TRUE(attributes->is_directory) << *path;
  }
  EXPECT_NE(known_folder_path(KnownFolder::RoamingAppData), known_folder_path(KnownFolder::LocalAppData));
}

TEST(WindowsKnownFolders, PerUserProgramsFolderIsAlwaysFound) {
  const auto path = user_programs_folder();
  ASSERT_TRUE(path) << path.error().text();
  EXPECT_TRUE(is_absolute(*path)) << *path;
  if (test::running_under_wine()) {
    // Wine does not know the folder: the default place under local application data.
    EXPECT_EQ(*path, join_path(*known_folder_path(KnownFolder::LocalAppData), "Programs"));
  }
}

}  // namespace
}  // namespace tessiva::platform
