#include "platform/windows/win_error.h"

#include <array>

#include "text/utf.h"

namespace tessiva::platform {
namespace {

// wchar_t and char16_t have the same size and encoding here but are distinct types;
// the units are copied rather than reinterpreted.
std::u16string to_u16(std::wstring_view s) { return {s.begin(), s.end()}; }
std::wstring to_wide(std::u16string_view s) { return {s.begin(), s.end()}; }

// CreateDirectoryW refuses paths from MAX_PATH - 12 characters on (room for an 8.3
// name), so the prefix is added from that length on.
constexpr std::size_t LONG_PATH_FROM = MAX_PATH - 12;

bool starts_with(std::wstring_view s, std::wstring_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

OsError os_error(DWORD code) {
  std::array<wchar_t, 2048> buffer{};
  DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  code, 0, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr);
  while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n')) --length;
  std::string message = length > 0 ? narrow(std::wstring_view(buffer.data(), length))
                                   : "Unknown error " + std::to_string(code);
  return OsError{code, std::move(message)};
}

OsError last_os_error() { return os_error(::GetLastError()); }

std::wstring widen(std::string_view utf8) { return to_wide(text::utf8_to_utf16_lossy(utf8)); }

std::string narrow(std::wstring_view utf16) { return text::utf16_to_utf8_lossy(to_u16(utf16)); }

std::optional<std::wstring> widen_strict(std::string_view utf8) {
  auto converted = text::utf8_to_utf16(utf8);
  if (!converted) return std::nullopt;
  return to_wide(*converted);
}

std::optional<std::string> narrow_strict(std::wstring_view utf16) {
  return text::utf16_to_utf8(to_u16(utf16));
}

Result<std::wstring> wide_path(std::string_view utf8) {
  if (utf8.find('\0') != std::string_view::npos) return std::unexpected(os_error(ERROR_INVALID_NAME));
  auto path = widen_strict(utf8);
  if (!path) return std::unexpected(os_error(ERROR_NO_UNICODE_TRANSLATION));
  if (path->size() < LONG_PATH_FROM || starts_with(*path, L"\\\\?\\") || starts_with(*path, L"\\\\.\\"))
    return std::move(*path);

  // Call twice: the first call reports the size needed, including the terminator.
  DWORD needed = ::GetFullPathNameW(path->c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::unexpected(last_os_error());
  std::wstring full(needed, L'\0');
  DWORD length = ::GetFullPathNameW(path->c_str(), needed, full.data(), nullptr);
  if (length == 0) return std::unexpected(last_os_error());
  if (length >= needed) return std::unexpected(os_error(ERROR_FILENAME_EXCED_RANGE));
  full.resize(length);
  if (starts_with(full, L"\\\\?\\") || starts_with(full, L"\\\\.\\")) return full;
  if (starts_with(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace tessiva::platform
