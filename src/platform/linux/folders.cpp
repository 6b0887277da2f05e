#include "platform/folders.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/linux/posix_error.h"

namespace tessiva::platform {
namespace {

/// An environment variable that holds an absolute path; empty or relative values are
/// ignored, as the XDG rules ask.
std::optional<std::string> absolute_from_environment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return std::nullopt;
  return std::string(value);
}

std::optional<std::string> under_home(std::string_view relative) {
  auto home = absolute_from_environment("HOME");
  if (!home) return std::nullopt;
  if (home->back() != '/') *home += '/';
  *home += relative;
  return home;
}

}  // namespace

std::optional<std::string> known_folder_path(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::RoamingAppData:
      if (auto path = absolute_from_environment("XDG_CONFIG_HOME")) return path;
      return under_home(".config");
    case KnownFolder::LocalAppData:
      if (auto path = absolute_from_environment("XDG_DATA_HOME")) return path;
      return under_home(".local/share");
    case KnownFolder::Documents:
      if (auto path = absolute_from_environment("XDG_DOCUMENTS_DIR")) return path;
      return under_home("Documents");
  }
  return std::nullopt;
}

Result<std::string> user_programs_folder() {
  return std::unexpected(os_error(ENOTSUP));
}

}  // namespace tessiva::platform
