#pragma once
/// The description that a file's version resource gives it.

#include <optional>
#include <string>

namespace tessiva::platform {

/// The FileDescription of the version resource of `path`: first in the language and
/// code page of the resource's first translation, then in US English with the Unicode
/// code page (040904b0). Texts that are empty after trimming are passed over. None when
/// the file has no version resource or no usable description.
[[nodiscard]] std::optional<std::string> file_description(const std::string& path);

}  // namespace tessiva::platform
