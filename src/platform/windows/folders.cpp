#include "platform/folders.h"

#include "platform/files.h"
#include "platform/windows/known_folders.h"

#include <shlobj.h>

#include "platform/windows/dynamic_library.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"
#include "text/paths.h"

namespace tessiva::platform {
namespace {

const KNOWNFOLDERID& folder_id(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::RoamingAppData: return FOLDERID_RoamingAppData;
    case KnownFolder::LocalAppData: return FOLDERID_LocalAppData;
    case KnownFolder::Documents: return FOLDERID_Documents;
  }
  return FOLDERID_RoamingAppData;
}

using GetKnownFolderPath = decltype(::SHGetKnownFolderPath);

GetKnownFolderPath* get_known_folder_path() {
  static LazyFunction<GetKnownFolderPath> function{shell32, "SHGetKnownFolderPath"};
  return function.get();
}

/// The folder's path, or the reason there is none (the HRESULT's text, or the reason
/// the path cannot be used).
Result<std::string> lookup(GetKnownFolderPath* get, const KNOWNFOLDERID& id, DWORD flags) {
  UniqueCoTaskMemString path;
  // The buffer must be freed even when the call fails.
  const HRESULT result = get(id, flags, nullptr, path.put());
  if (FAILED(result)) return std::unexpected(os_error(static_cast<DWORD>(result)));
  if (!path || !*path.get()) return std::unexpected(os_error(ERROR_PATH_NOT_FOUND));
  auto utf8 = narrow_strict(path.get());
  if (!utf8) return std::unexpected(os_error(ERROR_NO_UNICODE_TRANSLATION));
  return std::move(*utf8);
}

/// The local application data folder as the environment names it (the system sets
/// LOCALAPPDATA in every user's session): an absolute path to an existing folder, or
/// none. A host that only says "hello" still writes its log there, and the known-folder
/// API would load the shell, COM and the user interface libraries for it (about 25 ms
/// of a 45 ms start under Wine).
std::optional<std::string> local_app_data_from_environment() {
  constexpr const wchar_t* NAME = L"LOCALAPPDATA";
  const DWORD needed = ::GetEnvironmentVariableW(NAME, nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring value(needed, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(NAME, value.data(), needed);
  if (length == 0 || length >= needed) return std::nullopt;
  value.resize(length);
  auto utf8 = narrow_strict(value);
  if (!utf8 || !text::is_absolute_windows_path(*utf8)) return std::nullopt;
  const DWORD attributes = ::GetFileAttributesW(value.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return std::nullopt;
  return utf8;
}

}  // namespace

std::optional<std::string> known_folder_path(KnownFolder folder) {
  auto* get = get_known_folder_path();
  if (!get) return std::nullopt;
  auto path = lookup(get, folder_id(folder), 0);
  if (!path) return std::nullopt;
  return std::move(*path);
}

std::optional<std::string> program_folder(ProgramFolder folder, std::string_view product) {
  switch (folder) {
    case ProgramFolder::Settings: {
      const auto roaming = known_folder_path(KnownFolder::RoamingAppData);
      if (!roaming) return std::nullopt;
      return join_path(*roaming, product);
    }
    case ProgramFolder::Transfers: {
      const auto local = known_folder_path(KnownFolder::LocalAppData);
      if (!local) return std::nullopt;
      return join_path(join_path(*local, product), "transfers");
    }
    case ProgramFolder::Logs: {
      auto local = local_app_data_from_environment();
      if (!local) local = known_folder_path(KnownFolder::LocalAppData);
      if (!local) return std::nullopt;
      return join_path(join_path(*local, product), "logs");
    }
    case ProgramFolder::Documents: return known_folder_path(KnownFolder::Documents);
  }
  return std::nullopt;
}

Result<std::string> user_programs_folder() {
  auto* get = get_known_folder_path();
  if (!get) return std::unexpected(last_os_error());
  // KF_FLAG_DONT_VERIFY: without it the lookup fails whenever the folder has not been
  // created yet, and with KF_FLAG_CREATE it would be created before the user agreed.
  auto programs = lookup(get, FOLDERID_UserProgramFiles, KF_FLAG_DONT_VERIFY);
  if (programs) return programs;
  // Systems that do not know the folder (Wine 8 answers E_INVALIDARG) get the place
  // where Windows puts it by default.
  auto local = lookup(get, FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY);
  if (!local) return std::unexpected(programs.error());
  return join_path(*local, "Programs");
}

}  // namespace tessiva::platform
