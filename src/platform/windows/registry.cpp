#include "platform/windows/registry.h"

#include <cstring>
#include <cwchar>
#include <optional>
#include <vector>

#include "platform/windows/dynamic_library.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"
#include "platform/windows/windows.h"

namespace tessiva::platform {
namespace {

/// Key paths and value names become UTF-16 strictly: a lossy conversion could write
/// to a key other than the one meant.
Result<std::wstring> wide_name(std::string_view utf8) {
  if (utf8.find('\0') != std::string_view::npos) return std::unexpected(os_error(ERROR_INVALID_NAME));
  auto wide = widen_strict(utf8);
  if (!wide) return std::unexpected(os_error(ERROR_NO_UNICODE_TRANSLATION));
  return std::move(*wide);
}

// The registry functions come from advapi32, loaded on first use.
LazyFunction<decltype(::RegCreateKeyExW)> create_key{advapi32, "RegCreateKeyExW"};
LazyFunction<decltype(::RegSetValueExW)> set_value_ex{advapi32, "RegSetValueExW"};
LazyFunction<decltype(::RegDeleteTreeW)> delete_tree{advapi32, "RegDeleteTreeW"};
LazyFunction<decltype(::RegOpenKeyExW)> open_key{advapi32, "RegOpenKeyExW"};
LazyFunction<decltype(::RegQueryValueExW)> query_value{advapi32, "RegQueryValueExW"};
LazyFunction<decltype(::RegQueryInfoKeyW)> query_info{advapi32, "RegQueryInfoKeyW"};
LazyFunction<decltype(::RegEnumValueW)> enum_value{advapi32, "RegEnumValueW"};

/// The function, or the error that says why it is missing.
template <class F>
Result<F*> bound(LazyFunction<F>& function) {
  if (auto* f = function.get()) return f;
  return std::unexpected(os_error(missing_function_error()));
}

Result<void> set_value(HKEY key, const std::wstring& name, DWORD type, const void* data, DWORD size) {
  const auto set = bound(set_value_ex);
  if (!set) return std::unexpected(set.error());
  const LSTATUS status = (*set)(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  if (status != ERROR_SUCCESS) return std::unexpected(os_error(static_cast<DWORD>(status)));
  return {};
}

/// `key` of `hive` in `view`, opened for reading its values.
Result<UniqueKey> open_for_reading(RegistryHive hive, RegistryView view, std::string_view key) {
  auto wide_key = wide_name(key);
  if (!wide_key) return std::unexpected(wide_key.error());
  const auto open = bound(open_key);
  if (!open) return std::unexpected(open.error());
  const HKEY root = hive == RegistryHive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const REGSAM access = KEY_QUERY_VALUE | (view == RegistryView::Bits32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
  UniqueKey opened;
  const LSTATUS status = (*open)(root, wide_key->c_str(), 0, access, opened.put());
  if (status != ERROR_SUCCESS) return std::unexpected(os_error(static_cast<DWORD>(status)));
  return opened;
}

/// The value's bytes as `RegistryData`; none for a type it does not hold.
std::optional<RegistryData> data_of(DWORD type, const std::vector<BYTE>& bytes) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      // The stored text need not end in a NUL, or may hold several.
      std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
      std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
      text.resize(std::wcslen(text.c_str()));
      if (type == REG_EXPAND_SZ) {
        const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
        std::wstring expanded(needed, L'\0');
        if (needed > 0 && ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed) == needed) {
          expanded.resize(needed - 1);
          text = std::move(expanded);
        }
      }
      return RegistryData{narrow(text)};
    }
    case REG_DWORD:
      if (bytes.size() < sizeof(std::uint32_t)) return std::nullopt;
      {
        std::uint32_t number = 0;
        std::memcpy(&number, bytes.data(), sizeof number);
        return RegistryData{number};
      }
    case REG_QWORD:
      if (bytes.size() < sizeof(std::uint64_t)) return std::nullopt;
      {
        std::uint64_t number = 0;
        std::memcpy(&number, bytes.data(), sizeof number);
        return RegistryData{number};
      }
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string_view registry_hive_name(RegistryHive hive) noexcept {
  return hive == RegistryHive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

Result<RegistryData> read_registry_value(RegistryHive hive, RegistryView view, std::string_view key,
                                         std::string_view name) {
  auto wide_value_name = wide_name(name);
  if (!wide_value_name) return std::unexpected(wide_value_name.error());
  const auto opened = open_for_reading(hive, view, key);
  if (!opened) return std::unexpected(opened.error());
  const auto query = bound(query_value);
  if (!query) return std::unexpected(query.error());
  std::vector<BYTE> bytes(256);
  DWORD type = 0;
  while (true) {
    auto size = static_cast<DWORD>(bytes.size());
    const LSTATUS status = (*query)(opened->get(), wide_value_name->c_str(), nullptr, &type, bytes.data(), &size);
    if (status == ERROR_SUCCESS) {
      bytes.resize(size);
      break;
    }
    // The value may grow between two calls: ask again with the size it has now.
    if (status != ERROR_MORE_DATA) return std::unexpected(os_error(static_cast<DWORD>(status)));
    bytes.resize(size);
  }
  auto data = data_of(type, bytes);
  if (!data) return std::unexpected(os_error(ERROR_UNSUPPORTED_TYPE));
  return std::move(*data);
}

Result<std::vector<RegistryValue>> read_registry_values(RegistryHive hive, RegistryView view, std::string_view key) {
  const auto opened = open_for_reading(hive, view, key);
  if (!opened) return std::unexpected(opened.error());
  const auto info = bound(query_info);
  if (!info) return std::unexpected(info.error());
  const auto enumerate = bound(enum_value);
  if (!enumerate) return std::unexpected(enumerate.error());
  DWORD count = 0;
  DWORD longest_name = 0;
  DWORD largest_data = 0;
  LSTATUS status = (*info)(opened->get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                           &longest_name, &largest_data, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return std::unexpected(os_error(static_cast<DWORD>(status)));
  std::vector<RegistryValue> values;
  std::wstring value_name(longest_name + 1, L'\0');
  std::vector<BYTE> bytes(largest_data);
  for (DWORD index = 0; index < count; ++index) {
    auto name_size = static_cast<DWORD>(value_name.size());
    auto data_size = static_cast<DWORD>(bytes.size());
    DWORD type = 0;
    status = (*enumerate)(opened->get(), index, value_name.data(), &name_size, nullptr, &type, bytes.data(), &data_size);
    // A value added or removed meanwhile ends the list early rather than failing it.
    if (status != ERROR_SUCCESS) break;
    auto data = data_of(type, std::vector<BYTE>(bytes.begin(), bytes.begin() + data_size));
    if (data) values.push_back({narrow(std::wstring_view(value_name.data(), name_size)), std::move(*data)});
  }
  return values;
}

Result<void> set_registry_value(std::string_view key, const RegistryValue& value) {
  auto wide_key = wide_name(key);
  if (!wide_key) return std::unexpected(wide_key.error());
  auto wide_value_name = wide_name(value.name);
  if (!wide_value_name) return std::unexpected(wide_value_name.error());

  const auto create = bound(create_key);
  if (!create) return std::unexpected(create.error());
  UniqueKey opened;
  const LSTATUS status =
      (*create)(HKEY_CURRENT_USER, wide_key->c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, opened.put(), nullptr);
  if (status != ERROR_SUCCESS) return std::unexpected(os_error(static_cast<DWORD>(status)));

  if (const auto* text = std::get_if<std::string>(&value.data)) {
    auto wide = wide_name(*text);
    if (!wide) return std::unexpected(wide.error());
    // The terminating NUL is part of the data.
    const auto size = static_cast<DWORD>((wide->size() + 1) * sizeof(wchar_t));
    return set_value(opened.get(), *wide_value_name, REG_SZ, wide->c_str(), size);
  }
  if (const auto* dword = std::get_if<std::uint32_t>(&value.data)) {
    const DWORD data = *dword;
    return set_value(opened.get(), *wide_value_name, REG_DWORD, &data, sizeof data);
  }
  const std::uint64_t qword = std::get<std::uint64_t>(value.data);
  return set_value(opened.get(), *wide_value_name, REG_QWORD, &qword, sizeof qword);
}

Result<void> delete_registry_tree(std::string_view key) {
  auto wide_key = wide_name(key);
  if (!wide_key) return std::unexpected(wide_key.error());
  // An empty path would empty the whole of HKEY_CURRENT_USER.
  if (wide_key->empty()) return std::unexpected(os_error(ERROR_INVALID_PARAMETER));
  const auto delete_key = bound(delete_tree);
  if (!delete_key) return std::unexpected(delete_key.error());
  const LSTATUS status = (*delete_key)(HKEY_CURRENT_USER, wide_key->c_str());
  if (status != ERROR_SUCCESS) return std::unexpected(os_error(static_cast<DWORD>(status)));
  return {};
}

}  // namespace tessiva::platform
