// The installer's system on Windows: the registry, the known folders and message boxes.

#include "install/system.h"

#include "install/windows/environment.h"
#include "install/windows/installer.h"
#include "install/windows/uninstaller.h"

#include "config/store.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/windows/command_processor.h"
#include "platform/windows/console.h"
#include "platform/windows/known_folders.h"
#include "platform/windows/message_box.h"

namespace tessiva::install {

SystemEnvironment::SystemEnvironment() : settings_(config::load_config) {}

i18n::Language SystemEnvironment::language() { return i18n::ui_language(settings_().language); }

platform::Result<std::string> SystemEnvironment::programs_folder() { return platform::user_programs_folder(); }

platform::Result<std::string> SystemEnvironment::executable_path() { return platform::executable_path(); }

bool SystemEnvironment::file_exists(const std::string& path) { return platform::file_attributes(path).has_value(); }

std::optional<std::uint64_t> SystemEnvironment::file_size(const std::string& path) {
  const auto attributes = platform::file_attributes(path);
  if (!attributes || !attributes->is_regular) return std::nullopt;
  return attributes->size;
}

platform::Result<std::string> SystemEnvironment::canonical_path(const std::string& path) {
  return platform::canonical_path(path);
}

platform::Result<void> SystemEnvironment::create_folders(const std::string& path) {
  return platform::create_folders(path);
}

platform::Result<void> SystemEnvironment::delete_file(const std::string& path) { return platform::delete_file(path); }

platform::Result<void> SystemEnvironment::remove_empty_folder(const std::string& path) {
  return platform::remove_empty_folder(path);
}

platform::Result<void> SystemEnvironment::rename_replace(const std::string& from, const std::string& to) {
  return platform::rename_replace(from, to);
}

platform::Result<void> SystemEnvironment::copy_executable(const std::string& from, const std::string& to) {
  return platform::copy_file(from, to);
}

platform::Result<void> SystemEnvironment::write_file(const std::string& path, std::string_view bytes) {
  auto file = platform::create_truncate(path);
  if (!file) return std::unexpected(file.error());
  return file->write(bytes);
}

platform::Result<void> SystemEnvironment::set_registry_value(const std::string& key,
                                                             const platform::RegistryValue& value) {
  return platform::set_registry_value(key, value);
}

platform::Result<void> SystemEnvironment::delete_registry_tree(const std::string& key) {
  return platform::delete_registry_tree(key);
}

platform::MessageBoxAnswer SystemEnvironment::message_box(std::string_view text, std::string_view caption,
                                                          platform::MessageBoxKind kind) {
  return platform::message_box(text, caption, kind);
}

platform::Result<void> SystemEnvironment::start_command_processor(const std::string& command,
                                                                  const std::string& working_folder,
                                                                  platform::CreationOptions options) {
  return platform::start_command_processor(command, working_folder, options);
}

std::optional<MachineInstall> SystemEnvironment::machine_install() {
  auto found = read_machine_install();
  if (!found || !file_exists(platform::join_path(found->folder, EXECUTABLE_NAME))) return std::nullopt;
  return found;
}

bool SystemEnvironment::standard_output_open() { return platform::standard_output_is_open(); }

void SystemEnvironment::print(std::string_view text) { platform::write_standard_output(text); }

void SystemEnvironment::print_error(std::string_view text) { platform::write_standard_error(text); }

// Browsers on Windows run no sandbox that needs a way out: "--sandbox" has nothing to set up.
int install_for_user(bool quiet, const std::vector<std::string>& /*sandboxes*/, bool per_user) {
  SystemEnvironment environment;
  return run_installer(environment, quiet, per_user);
}

int uninstall_for_user(bool quiet, const std::vector<std::string>& /*sandboxes*/) {
  SystemEnvironment environment;
  return run_uninstaller(environment, quiet);
}

}  // namespace tessiva::install
