#include "platform/pickers.h"

#include "platform/windows/windows.h"

#include <shobjidl.h>
#include <wrl/client.h>

#include "platform/windows/com.h"
#include "platform/windows/dynamic_library.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"

namespace tessiva::platform {
namespace {

using Microsoft::WRL::ComPtr;

/// The owner window of a dialog. A handle that names no window (the browser's window
/// has closed meanwhile) is dropped, so that the dialog still shows, without owner.
HWND owner_window(std::optional<std::int64_t> owner) {
  if (!owner) return nullptr;
  const auto window = reinterpret_cast<HWND>(static_cast<INT_PTR>(*owner));
  static LazyFunction<decltype(::IsWindow)> is_window{user32, "IsWindow"};
  auto* check = is_window.get();
  return check && check(window) ? window : nullptr;
}

/// The common sequence of both pickers: create the dialog, let `set_up` prepare it, give
/// it `title`, add `options` to its current ones, show it, and take the chosen item's
/// file-system path. Every failure, a cancel included, gives none; everything obtained
/// is released before returning.
template <class SetUp>
std::optional<std::string> show_open_dialog(std::optional<std::int64_t> owner, std::string_view title,
                                            FILEOPENDIALOGOPTIONS options, SetUp set_up) {
  const std::wstring wide_title = widen(title);
  enter_com_apartment();
  static LazyFunction<decltype(::CoCreateInstance)> create_instance{ole32, "CoCreateInstance"};
  auto* create = create_instance.get();
  if (!create) return std::nullopt;

  ComPtr<IFileOpenDialog> dialog;
  if (FAILED(create(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(dialog.GetAddressOf()))) ||
      !dialog)
    return std::nullopt;
  if (FAILED(set_up(dialog.Get())) || FAILED(dialog->SetTitle(wide_title.c_str()))) return std::nullopt;
  FILEOPENDIALOGOPTIONS current = 0;
  if (FAILED(dialog->GetOptions(&current)) || FAILED(dialog->SetOptions(current | options))) return std::nullopt;
  // Some implementations (Wine's) replace the title with their own "Select Folder" when
  // FOS_PICKFOLDERS is switched on, so it is given once more.
  if (FAILED(dialog->SetTitle(wide_title.c_str()))) return std::nullopt;
  // Closing the dialog without a choice makes Show fail (ERROR_CANCELLED).
  if (FAILED(dialog->Show(owner_window(owner)))) return std::nullopt;

  ComPtr<IShellItem> item;
  if (FAILED(dialog->GetResult(item.GetAddressOf())) || !item) return std::nullopt;
  UniqueCoTaskMemString path;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put())) || !path) return std::nullopt;
  auto utf8 = narrow_strict(path.get());
  if (!utf8 || utf8->empty()) return std::nullopt;
  return utf8;
}

}  // namespace

std::optional<std::string> pick_folder(std::optional<std::int64_t> owner, const PickerTexts& texts) {
  return show_open_dialog(owner, texts.title, FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM,
                          [](IFileOpenDialog*) { return S_OK; });
}

std::optional<std::string> pick_program(std::optional<std::int64_t> owner, const PickerTexts& texts) {
  const std::wstring wide_name = widen(texts.filter);
  const std::wstring wide_pattern = L"*.exe";
  return show_open_dialog(owner, texts.title, FOS_FILEMUSTEXIST | FOS_FORCEFILESYSTEM, [&](IFileOpenDialog* dialog) {
    const COMDLG_FILTERSPEC filter{wide_name.c_str(), wide_pattern.c_str()};
    return dialog->SetFileTypes(1, &filter);
  });
}

}  // namespace tessiva::platform
