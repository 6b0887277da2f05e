#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
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

/// Sets LOCALAPPDATA for one test and puts the old value back.
class LocalAppDataVariable {
 public:
  LocalAppDataVariable() {
    if (const wchar_t* value = _wgetenv(L"LOCALAPPDATA")) old_ = value;
  }
  ~LocalAppDataVariable() { _wputenv_s(L"LOCALAPPDATA", old_.c_str()); }
  void set(const wchar_t* value) { _wputenv_s(L"LOCALAPPDATA", value); }

 private:
  std::wstring old_;
};

TEST(WindowsKnownFolders, LogFolderComesFromTheEnvironmentOnlyWhenItNamesAnExistingAbsoluteFolder) {
  LocalAppDataVariable variable;
  const auto known = join_path(join_path(*known_folder_path(KnownFolder::LocalAppData), "Tessiva"), "logs");
  // The environment's folder wins when it is usable (here another existing folder).
  const auto roaming = *known_folder_path(KnownFolder::RoamingAppData);
  variable.set(std::wstring(roaming.begin(), roaming.end()).c_str());
  EXPECT_EQ(program_folder(ProgramFolder::Logs, "Tessiva"), join_path(join_path(roaming, "Tessiva"), "logs"));
  // Otherwise the known folder serves: unset, relative, missing.
  for (const wchar_t* unusable : {L"", L"relative\\folder", L"C:\\no such folder here"}) {
    variable.set(unusable);
    EXPECT_EQ(program_folder(ProgramFolder::Logs, "Tessiva"), known);
  }
}

}  // namespace
}  // namespace tessiva::platform
