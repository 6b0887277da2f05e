#pragma once
/// Path rules as pure functions, so that they hold (and are tested) on every host. The
/// rules that differ between systems take a path style; the Windows ones are the
/// rules of the paths the browser and the user's settings hand in.

#include <string>
#include <string_view>

namespace tessiva::text {

/// How paths are spelled: Windows ('\' and '/' separate, letter case does not matter
/// for ASCII letters) or POSIX ('/' only, case matters).
enum class PathStyle { Windows, Posix };

/// True when `path` is absolute by the Windows rules: a drive letter, a colon and a
/// separator ("C:\..."); two separators, a non-empty server name, a separator and a
/// non-empty share name ("\\server\share..."); or one of the prefixes "\\?\" and
/// "\\.\". Both '\' and '/' are separators. "C:folder", "\folder" and "folder" are
/// relative.
[[nodiscard]] bool is_absolute_windows_path(std::string_view path) noexcept;

/// True when `path` is absolute in `style`: by `is_absolute_windows_path`, or, in the
/// POSIX style, when it starts with '/'.
[[nodiscard]] bool is_absolute_path(std::string_view path, PathStyle style) noexcept;

/// True when `path` is `folder` itself or lies inside it, compared component by
/// component ("<folder>2" is a sibling, not inside). Both are taken as canonical: a
/// "." or ".." component below `folder` makes `path` count as outside.
[[nodiscard]] bool path_is_inside(std::string_view path, std::string_view folder, PathStyle style) noexcept;

/// The folder that holds `path`: the text before its last separator, with a root kept
/// whole ("/", "C:\" and "C:/" in the Windows style). Empty when `path` has no separator
/// or is a root itself. A separator at the end of `path` is not taken off first: the
/// parent of "/a/" is "/a".
[[nodiscard]] std::string_view parent_folder(std::string_view path, PathStyle style) noexcept;
[[nodiscard]] std::wstring_view parent_folder(std::wstring_view path, PathStyle style) noexcept;

/// The last component of `path`: the text after its last separator, or all of it when
/// it has none.
[[nodiscard]] std::string_view file_name(std::string_view path, PathStyle style) noexcept;

/// The file name of `path` (the text after its last separator) without its last
/// extension: "setup" for C:\x\setup.exe, "archive.tar" for archive.tar.gz; a name whose
/// only full stop is its first character, or that has none, is its own stem
/// (".profile"). Empty when the path ends in a separator.
[[nodiscard]] std::string file_stem(std::string_view path, PathStyle style);

/// True when `name` can only name a file directly inside a folder: not empty, not "."
/// or "..", and without separators or NUL characters; in the Windows style also without
/// colons ("a:b" would be a stream of the file "a").
[[nodiscard]] bool is_single_component(std::string_view name, PathStyle style) noexcept;

}  // namespace tessiva::text
