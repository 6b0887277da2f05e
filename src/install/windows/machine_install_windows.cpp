// The machine-wide installation's key and the per-user installation's entry, read from
// the registry.

#include "install/windows/installer.h"
#include "install/windows/machine_install.h"
#include "install/windows/machine_wide.h"
#include "platform/windows/registry.h"

namespace tessiva::install {
namespace {

using platform::RegistryHive;
using platform::RegistryView;

/// The text value `name` of `key`; empty when it is missing or no text.
std::string text_value(RegistryHive hive, std::string_view key, std::string_view name) {
  auto value = platform::read_registry_value(hive, RegistryView::Bits64, key, name);
  if (!value) return {};
  if (auto* text = std::get_if<std::string>(&*value)) return std::move(*text);
  return {};
}

}  // namespace

std::optional<MachineInstall> read_machine_install() {
  MachineInstall found{text_value(RegistryHive::LocalMachine, MACHINE_KEY, INSTALL_FOLDER_VALUE),
                       text_value(RegistryHive::LocalMachine, MACHINE_KEY, VERSION_VALUE), std::nullopt};
  if (found.folder.empty()) return std::nullopt;
  if (const auto values = platform::read_registry_values(RegistryHive::LocalMachine, RegistryView::Bits64,
                                                         MACHINE_BROWSERS_KEY)) {
    found.browsers.emplace();
    for (const auto& value : *values) found.browsers->push_back(value.name);
  }
  return found;
}

std::optional<UserInstall> read_user_install() {
  UserInstall found{text_value(RegistryHive::CurrentUser, UNINSTALL_KEY, "InstallLocation"),
                    text_value(RegistryHive::CurrentUser, UNINSTALL_KEY, "DisplayVersion")};
  if (found.folder.empty() || found.version.empty()) return std::nullopt;
  return found;
}

}  // namespace tessiva::install
