#include "platform/windows/command_processor.h"

#include "platform/windows/system_values.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"
#include "platform/windows/windows.h"

namespace tessiva::platform {

Result<void> start_command_processor(std::string_view command, const std::string& working_folder,
                                     CreationOptions options) {
  // The full path keeps a "cmd.exe" in the current folder from being run instead.
  std::wstring program(MAX_PATH, L'\0');
  const UINT length = ::GetSystemDirectoryW(program.data(), static_cast<UINT>(program.size()));
  if (length == 0 || length >= program.size()) return std::unexpected(last_os_error());
  program.resize(length);
  program += L"\\cmd.exe";

  std::wstring line = L"\"" + program + L"\" /d /c ";
  line += widen(command);
  std::wstring folder;
  if (!working_folder.empty()) {
    auto wide = wide_path(working_folder);
    if (!wide) return std::unexpected(wide.error());
    folder = std::move(*wide);
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, creation_flags(options), nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    return std::unexpected(last_os_error());
  }
  // Never waited for: both handles go at once.
  UniqueHandle process(info.hProcess), thread(info.hThread);
  return {};
}

}  // namespace tessiva::platform
