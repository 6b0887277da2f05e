// The stand-in keeps the registry in the memory of the process: every run starts with
// an empty one, and nothing outside the process ever sees it. That is enough for the
// installer's flow to run natively and for the registry's own rules to be tested.

#include "platform/registry.h"

#include <cerrno>
#include <map>

#include "platform/linux/posix_error.h"

namespace tessiva::platform {
namespace {

/// Key paths and value names compare without regard to ASCII case, as in Windows.
std::string folded(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

using Values = std::map<std::string, RegistryData>;

std::map<std::string, Values>& keys() {
  static std::map<std::string, Values> store;
  return store;
}

bool is_within(const std::string& key, const std::string& tree) {
  return key == tree || (key.size() > tree.size() && key.starts_with(tree) && key[tree.size()] == '\\');
}

}  // namespace

Result<void> set_registry_value(std::string_view key, const RegistryValue& value) {
  if (key.empty()) return std::unexpected(os_error(EINVAL));
  const auto* text = std::get_if<std::string>(&value.data);
  if (text && text->find('\0') != std::string::npos) return std::unexpected(os_error(EINVAL));
  keys()[folded(key)][folded(value.name)] = value.data;
  return {};
}

Result<void> delete_registry_tree(std::string_view key) {
  if (key.empty()) return std::unexpected(os_error(EINVAL));
  const std::string tree = folded(key);
  const auto erased = std::erase_if(keys(), [&](const auto& entry) { return is_within(entry.first, tree); });
  if (erased == 0) return std::unexpected(os_error(ENOENT));
  return {};
}

}  // namespace tessiva::platform
