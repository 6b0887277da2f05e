#pragma once
/// What a file type is: an extension without its dot, as the settings store it and as
/// requests name it.

#include <cstddef>
#include <string_view>

namespace tessiva::text {

/// The longest file type, in bytes.
inline constexpr std::size_t MAX_FILE_TYPE_BYTES = 32;

/// True when `type` is 1 to MAX_FILE_TYPE_BYTES bytes of a-z, 0-9, "_" and "-".
[[nodiscard]] constexpr bool is_file_type(std::string_view type) noexcept {
  if (type.empty() || type.size() > MAX_FILE_TYPE_BYTES) return false;
  for (const char c : type) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-')) return false;
  }
  return true;
}

}  // namespace tessiva::text
