#pragma once
/// Windows path rules as pure functions, so that they hold (and are tested) on every
/// host.

#include <string_view>

namespace tessiva::text {

/// True when `path` is absolute by the Windows rules: a drive letter, a colon and a
/// separator ("C:\..."); two separators, a non-empty server name, a separator and a
/// non-empty share name ("\\server\share..."); or one of the prefixes "\\?\" and
/// "\\.\". Both '\' and '/' are separators. "C:folder", "\folder" and "folder" are
/// relative.
[[nodiscard]] bool is_absolute_windows_path(std::string_view path) noexcept;

}  // namespace tessiva::text
