#include "platform/folders.h"

#include <shlobj.h>

#include "platform/windows/dynamic_library.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"

namespace tessiva::platform {
namespace {

const KNOWNFOLDERID& folder_id(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::RoamingAppData: return FOLDERID_RoamingAppData;
    case KnownFolder::LocalAppData: return FOLDERID_LocalAppData;
    case KnownFolder::Documents: return FOLDERID_Documents;
    case KnownFolder::UserPrograms: return FOLDERID_UserProgramFiles;
  }
  return FOLDERID_RoamingAppData;
}

}  // namespace

std::optional<std::string> known_folder_path(KnownFolder folder) {
  static LazyFunction<decltype(::SHGetKnownFolderPath)> get_known_folder_path{
      shell32, "SHGetKnownFolderPath"};
  auto* get = get_known_folder_path.get();
  if (!get) return std::nullopt;
  UniqueCoTaskMemString path;
  // The buffer must be freed even when the call fails.
  if (FAILED(get(folder_id(folder), 0, nullptr, path.put())) || !path) return std::nullopt;
  auto utf8 = narrow_strict(path.get());
  if (!utf8 || utf8->empty()) return std::nullopt;
  return utf8;
}

}  // namespace tessiva::platform
