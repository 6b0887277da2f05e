#include "install/windows/machine_install.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include "i18n/texts.h"
#include "install/windows/environment.h"
#include "messages/protocol.h"
#include "messages/version.h"
#include "text/paths.h"

namespace tessiva::install {
namespace {

/// The numbers of a dotted version; none for anything else (an empty text included).
std::optional<std::vector<unsigned long long>> version_numbers(std::string_view text) {
  std::vector<unsigned long long> numbers;
  for (;;) {
    const std::size_t dot = text.find('.');
    const std::string_view part = text.substr(0, dot);
    unsigned long long number = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), number);
    if (part.empty() || error != std::errc{} || end != part.data() + part.size()) return std::nullopt;
    numbers.push_back(number);
    if (dot == std::string_view::npos) return numbers;
    text.remove_prefix(dot + 1);
  }
}

/// "To remove it...", with the package's name for the installed version.
std::string removal_hint(i18n::Language language, const MachineInstall& machine) {
  const std::string_view version = machine.version.empty() ? messages::HOST_VERSION : machine.version;
  return i18n::format_message(language, i18n::MessageKey::RemoveSystemWide, {version});
}

bool same_folder(std::string_view a, std::string_view b) {
  constexpr auto style = text::PathStyle::Windows;
  return text::path_is_inside(a, b, style) && text::path_is_inside(b, a, style);
}

}  // namespace

std::optional<std::strong_ordering> compare_versions(std::string_view a, std::string_view b) {
  const auto left = version_numbers(a);
  const auto right = version_numbers(b);
  if (!left || !right) return std::nullopt;
  for (std::size_t i = 0; i < std::max(left->size(), right->size()); ++i) {
    const auto x = i < left->size() ? (*left)[i] : 0;
    const auto y = i < right->size() ? (*right)[i] : 0;
    if (x != y) return x <=> y;
  }
  return std::strong_ordering::equal;
}

bool MachineInstall::registers(std::string_view name) const {
  return !browsers || std::ranges::find(*browsers, name) != browsers->end();
}

bool runs_from_folder(std::string_view running, std::string_view folder) {
  const std::string_view parent = text::parent_folder(running, text::PathStyle::Windows);
  return !parent.empty() && same_folder(parent, folder);
}

std::optional<MachineInstall> running_machine_install(InstallEnvironment& environment) {
  auto machine = environment.machine_install();
  if (!machine) return std::nullopt;
  const auto running = environment.executable_path();
  if (!running) return std::nullopt;
  // The canonical forms settle short names, links and letter case beyond ASCII.
  const auto canonical_running = environment.canonical_path(*running);
  const auto canonical_folder = environment.canonical_path(machine->folder);
  if (canonical_running && canonical_folder && runs_from_folder(*canonical_running, *canonical_folder))
    return machine;
  if (runs_from_folder(*running, machine->folder)) return machine;
  return std::nullopt;
}

std::string installed_for_all_users(i18n::Language language, const MachineInstall& machine) {
  return std::string(i18n::message_text(language, i18n::MessageKey::InstalledSystemWide)) + " " +
         removal_hint(language, machine);
}

std::string uninstall_for_all_users(i18n::Language language, const MachineInstall& machine) {
  return std::string(i18n::message_text(language, i18n::MessageKey::UninstallSystemWide)) + " " +
         removal_hint(language, machine);
}

void tell(InstallEnvironment& environment, std::string_view text, platform::MessageBoxKind kind) {
  if (environment.standard_output_open()) {
    environment.print(std::string(text) + "\n");
    return;
  }
  environment.message_box(text, messages::PRODUCT_NAME, kind);
}

}  // namespace tessiva::install
