#include "platform/launch.h"
#include "platform/windows/launch.h"

#include <shlobj.h>

#include "platform/windows/assoc_handlers.h"
#include "platform/windows/com.h"
#include "platform/windows/dynamic_library.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"
#include "text/paths.h"

namespace tessiva::platform {
namespace {

using Microsoft::WRL::ComPtr;

OsError hresult_error(HRESULT hr) { return os_error(static_cast<DWORD>(hr)); }

/// The folder that holds `program`: everything before its last separator, keeping the
/// separator of a drive's root ("C:\" for "C:\x.exe", since "C:" alone would mean the
/// drive's current folder). Empty without a separator.
std::wstring program_folder(const std::wstring& program) {
  return std::wstring(text::parent_folder(program, text::PathStyle::Windows));
}

}  // namespace

Result<void> start_application(const std::string& program, const std::string& command_line) {
  const auto wide_program = widen_strict(program);
  if (!wide_program) return std::unexpected(os_error(ERROR_NO_UNICODE_TRANSLATION));
  const auto wide_line = widen_strict(command_line);
  if (!wide_line) return std::unexpected(os_error(ERROR_NO_UNICODE_TRANSLATION));
  // CreateProcessW may write into the command line, so it gets a copy of its own.
  std::wstring mutable_line = *wide_line;
  const std::wstring folder = program_folder(*wide_program);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(wide_program->c_str(), mutable_line.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_PROCESS_GROUP, nullptr, folder.empty() ? nullptr : folder.c_str(), &startup,
                        &info))
    return std::unexpected(last_os_error());
  // Never waited for.
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  return {};
}

ArgumentConvention native_argument_convention() noexcept { return ArgumentConvention::CommandLine; }

Result<void> invoke_handler(std::string_view ext, std::string_view id, const std::string& file) {
  const auto wide_file = widen_strict(file);
  if (!wide_file) return std::unexpected(os_error(ERROR_NO_UNICODE_TRANSLATION));
  enter_com_apartment();
  const ComPtr<IAssocHandler> handler = find_handler(enumerate_handlers(ext), id);
  if (!handler) return std::unexpected(OsError{ERROR_NOT_FOUND, "handler_not_found"});

  static LazyFunction<decltype(::SHCreateItemFromParsingName)> create_item{shell32, "SHCreateItemFromParsingName"};
  auto* create = create_item.get();
  if (!create) return std::unexpected(last_os_error());
  ComPtr<IShellItem> item;
  if (const HRESULT hr = create(wide_file->c_str(), nullptr, IID_PPV_ARGS(item.GetAddressOf())); FAILED(hr))
    return std::unexpected(hresult_error(hr));
  return invoke_on_item(handler.Get(), item.Get());
}

Result<void> reveal_in_file_manager(const std::string& path) {
  const auto wide_path = widen_strict(path);
  if (!wide_path) return std::unexpected(os_error(ERROR_NO_UNICODE_TRANSLATION));
  enter_com_apartment();
  static LazyFunction<decltype(::SHParseDisplayName)> parse_name{shell32, "SHParseDisplayName"};
  static LazyFunction<decltype(::SHOpenFolderAndSelectItems)> open_folder{shell32, "SHOpenFolderAndSelectItems"};
  auto* parse = parse_name.get();
  auto* open = open_folder.get();
  if (!parse || !open) return std::unexpected(last_os_error());
  UniquePidl item;
  if (const HRESULT hr = parse(wide_path->c_str(), nullptr, item.put(), 0, nullptr); FAILED(hr) || !item)
    return std::unexpected(hresult_error(FAILED(hr) ? hr : E_FAIL));
  // The item itself as the folder argument, without children: Explorer opens its parent
  // and selects it.
  if (const HRESULT hr = open(item.get(), 0, nullptr, 0); FAILED(hr)) return std::unexpected(hresult_error(hr));
  return {};
}

}  // namespace tessiva::platform
