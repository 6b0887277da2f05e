#include "desktop/app_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "temp_folder.h"
#include "text/paths.h"

namespace tessiva::desktop {
namespace {

using messages::HostError;
using nlohmann::json;

/// `path` in a form that passes the Windows absolute-path rule on both builds: native
/// paths get a second leading slash ("//tmp/x" is "/tmp/x" to POSIX and a UNC-like path
/// to the rule).
std::string windows_absolute(const std::string& path) {
  return text::is_absolute_windows_path(path) ? path : "/" + path;
}

TEST(ShellAppInfo, ChecksThePathBeforeDescribingIt) {
  test::TempFolder temp;
  const std::string folder = windows_absolute(temp.path());
  const std::string notes = platform::join_path(folder, "notes.v2.txt");
  std::ofstream(std::filesystem::path(std::u8string(notes.begin(), notes.end()))) << "text";
  const HostError not_found{messages::error_code::NOT_FOUND, std::nullopt};

  const struct {
    json request;
    std::optional<HostError> error;
  } cases[] = {
      {json{{"type", "app_info"}}, HostError::invalid_request()},
      {json{{"path", 5}}, HostError::invalid_request()},
      {json{{"path", nullptr}}, HostError::invalid_request()},
      {json{{"path", ""}}, not_found},
      {json{{"path", "notes.v2.txt"}}, not_found},
      {json{{"path", "\\notes.v2.txt"}}, not_found},
      {json{{"path", folder}}, not_found},
      {json{{"path", platform::join_path(folder, "missing.exe")}}, not_found},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(handle_app_info(c.request), std::unexpected(*c.error)) << c.request.dump();
  }

  // A file without a version resource is named by its stem, and the path comes back
  // exactly as written, forward slashes included.
  std::string slashed = notes;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  for (const std::string& path : {notes, slashed}) {
    const auto result = handle_app_info(json{{"path", path}});
    ASSERT_TRUE(result) << path;
    EXPECT_EQ((*result)["path"], path);
    EXPECT_EQ((*result)["name"], "notes.v2");
    EXPECT_TRUE((*result).contains("icon_png"));
    EXPECT_EQ(result->size(), 3u);
  }
}

}  // namespace
}  // namespace tessiva::desktop
