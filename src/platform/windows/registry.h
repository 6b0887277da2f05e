#pragma once
/// The registry. Writing is to the current user's keys (HKEY_CURRENT_USER) only;
/// reading is from that hive or the machine's, in either view. Key paths are relative
/// to the hive's root and use backslashes ("Software\Vendor\Product"); text is UTF-8.
/// Only Windows code calls these (and the Windows installer's environment names its
/// types, so that its flows run natively against a fake).

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

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

/// The hives that are read.
enum class RegistryHive { CurrentUser, LocalMachine };

/// The view of the registry a 64-bit system gives to 32-bit programs and to 64-bit
/// ones: some keys of HKEY_LOCAL_MACHINE differ between them.
enum class RegistryView { Bits32, Bits64 };

/// The hive's full name as people write it: "HKEY_CURRENT_USER"...
[[nodiscard]] std::string_view registry_hive_name(RegistryHive hive) noexcept;

/// The value `name` of `key` (the default value for an empty name). REG_EXPAND_SZ text
/// comes with its environment variables expanded. A missing key or value fails with
/// the system's "not found" error (`is_not_found`); a value of another type (binary,
/// several strings) with ERROR_UNSUPPORTED_TYPE.
[[nodiscard]] Result<RegistryData> read_registry_value(RegistryHive hive, RegistryView view, std::string_view key,
                                                       std::string_view name);

/// Every value of `key` of the types `RegistryData` holds, in the registry's order;
/// values of other types are left out. A missing key fails with "not found".
[[nodiscard]] Result<std::vector<RegistryValue>> read_registry_values(RegistryHive hive, RegistryView view,
                                                                      std::string_view key);

}  // namespace tessiva::platform
