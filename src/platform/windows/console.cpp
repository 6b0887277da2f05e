// The terminal lines of the Windows build's command-line modes. The executable has no
// console of its own: text goes to the standard handles it inherited, when there are
// any (a redirection or a console), and is dropped otherwise.

#include "platform/console.h"
#include "platform/windows/console.h"

#include <algorithm>

#include "platform/windows/win_error.h"
#include "platform/windows/windows.h"

namespace tessiva::platform {
namespace {

void write_handle(DWORD which, std::string_view text) noexcept {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  while (!text.empty()) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 30));
    if (!WriteFile(handle, text.data(), want, &put, nullptr) || put == 0) return;
    text.remove_prefix(put);
  }
}

}  // namespace

bool standard_output_is_open() noexcept {
  const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  const DWORD type = GetFileType(handle);
  return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE || type == FILE_TYPE_CHAR;
}

void write_standard_output(std::string_view text) noexcept { write_handle(STD_OUTPUT_HANDLE, text); }

void write_standard_error(std::string_view text) noexcept { write_handle(STD_ERROR_HANDLE, text); }

}  // namespace tessiva::platform
