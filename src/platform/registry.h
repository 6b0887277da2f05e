#pragma once
/// The current user's registry (HKEY_CURRENT_USER only). Key paths are relative to
/// that root and use backslashes ("Software\Vendor\Product"); text is UTF-8. Windows
/// only: Linux has no registry, and nothing there calls these.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "platform/os_error.h"

namespace tessiva::platform {

/// The data of a value; its alternative is its type: text is REG_SZ, a 32-bit number
/// REG_DWORD, a 64-bit number REG_QWORD.
using RegistryData = std::variant<std::string, std::uint32_t, std::uint64_t>;

/// One named value of a key; the empty name is the key's default value.
struct RegistryValue {
  std::string name;
  RegistryData data;

  friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

/// Creates `key` (and any missing parents) when needed and sets one value in it. A
/// REG_SZ value is stored as UTF-16 with its terminating NUL, which the data size
/// counts; numbers are stored little-endian. Text that is not valid UTF-8 or holds a
/// NUL is refused.
[[nodiscard]] Result<void> set_registry_value(std::string_view key, const RegistryValue& value);

/// Deletes `key` with all its values and subkeys (`RegDeleteTreeW`). A missing key
/// fails with the system's "not found" error.
[[nodiscard]] Result<void> delete_registry_tree(std::string_view key);

}  // namespace tessiva::platform
