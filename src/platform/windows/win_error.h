#pragma once
/// Windows error codes as `OsError`, and the UTF-8/UTF-16 conversions at the edge of
/// the W functions (wchar_t is a UTF-16 unit on Windows).

#include <optional>
#include <string>
#include <string_view>

#include "platform/os_error.h"
#include "platform/windows/windows.h"

namespace tessiva::platform {

/// The error `code` with the system's message for it (FormatMessageW, without the
/// trailing line break), decoded with U+FFFD for bad units.
[[nodiscard]] OsError os_error(DWORD code);
/// `os_error(GetLastError())`.
[[nodiscard]] OsError last_os_error();

/// UTF-8 to UTF-16 with U+FFFD for ill-formed input: for text that is only shown.
[[nodiscard]] std::wstring widen(std::string_view utf8);
/// UTF-16 to UTF-8 with U+FFFD for unpaired surrogates: for text that is only shown.
[[nodiscard]] std::string narrow(std::wstring_view utf16);
/// UTF-8 to UTF-16; none for ill-formed input. For identifiers and paths.
[[nodiscard]] std::optional<std::wstring> widen_strict(std::string_view utf8);
/// UTF-16 to UTF-8; none for an unpaired surrogate. For identifiers and paths.
[[nodiscard]] std::optional<std::string> narrow_strict(std::wstring_view utf16);

/// A path ready for the W file functions. Refuses ill-formed UTF-8
/// (ERROR_NO_UNICODE_TRANSLATION) and embedded NUL characters, which would silently
/// cut the path short (ERROR_INVALID_NAME). A path too long for the classic MAX_PATH
/// limit is made absolute and given the "\\?\" prefix, which lifts that limit.
[[nodiscard]] Result<std::wstring> wide_path(std::string_view utf8);

}  // namespace tessiva::platform
