#include "platform/registry.h"

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

}  // namespace

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
