#pragma once
/// Everything the installer and the uninstaller ask of the system, behind one
/// interface so that tests can run whole flows against a fake.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "config/config.h"
#include "i18n/language.h"
#include "install/system.h"
#include "install/windows/machine_install.h"
#include "platform/os_error.h"
#include "platform/process_options.h"
#include "platform/windows/message_box.h"
#include "platform/windows/registry.h"

namespace tessiva::install {

class InstallEnvironment {
 public:
  virtual ~InstallEnvironment() = default;

  /// The language of the texts shown, read afresh from the settings.
  [[nodiscard]] virtual i18n::Language language() = 0;
  /// The per-user programs folder, or why the system provides none.
  [[nodiscard]] virtual platform::Result<std::string> programs_folder() = 0;
  /// Full path of the running executable.
  [[nodiscard]] virtual platform::Result<std::string> executable_path() = 0;

  [[nodiscard]] virtual bool file_exists(const std::string& path) = 0;
  /// Size in bytes; none when it cannot be read.
  [[nodiscard]] virtual std::optional<std::uint64_t> file_size(const std::string& path) = 0;
  [[nodiscard]] virtual platform::Result<std::string> canonical_path(const std::string& path) = 0;
  [[nodiscard]] virtual platform::Result<void> create_folders(const std::string& path) = 0;
  [[nodiscard]] virtual platform::Result<void> delete_file(const std::string& path) = 0;
  /// Removes the folder `path` when it is empty; fails (and keeps it) otherwise.
  [[nodiscard]] virtual platform::Result<void> remove_empty_folder(const std::string& path) = 0;
  [[nodiscard]] virtual platform::Result<void> rename_replace(const std::string& from, const std::string& to) = 0;
  /// Copies the program `from` onto `to`.
  [[nodiscard]] virtual platform::Result<void> copy_executable(const std::string& from, const std::string& to) = 0;
  /// Creates or replaces the file `path` with exactly `bytes`.
  [[nodiscard]] virtual platform::Result<void> write_file(const std::string& path, std::string_view bytes) = 0;

  /// Under HKEY_CURRENT_USER, as platform/registry.h.
  [[nodiscard]] virtual platform::Result<void> set_registry_value(const std::string& key,
                                                                  const platform::RegistryValue& value) = 0;
  [[nodiscard]] virtual platform::Result<void> delete_registry_tree(const std::string& key) = 0;

  /// A message box without owner; returns the answer, `NotShown` when it could not be
  /// shown.
  virtual platform::MessageBoxAnswer message_box(std::string_view text, std::string_view caption,
                                                 platform::MessageBoxKind kind) = 0;

  /// Starts the command processor in the background, as platform/command_processor.h.
  [[nodiscard]] virtual platform::Result<void> start_command_processor(const std::string& command,
                                                                       const std::string& working_folder,
                                                                       platform::CreationOptions options) = 0;

  /// The installation for all users (`read_machine_install`), when its executable is
  /// there too.
  [[nodiscard]] virtual std::optional<MachineInstall> machine_install() = 0;
  /// True when standard output leads somewhere: a console, a file or a pipe.
  [[nodiscard]] virtual bool standard_output_open() = 0;
  /// Text on standard output, and failures on standard error, as given.
  virtual void print(std::string_view text) = 0;
  virtual void print_error(std::string_view text) = 0;
};

/// The real system: the platform seam, and the settings for the language. Windows only
/// (install/windows/system_windows.cpp); Linux installs into the home folder
/// (install/linux/home_install.h).
class SystemEnvironment : public InstallEnvironment {
 public:
  /// The settings of config.json.
  SystemEnvironment();
  explicit SystemEnvironment(config::SettingsLoader settings) : settings_(std::move(settings)) {}

  i18n::Language language() override;
  platform::Result<std::string> programs_folder() override;
  platform::Result<std::string> executable_path() override;
  bool file_exists(const std::string& path) override;
  std::optional<std::uint64_t> file_size(const std::string& path) override;
  platform::Result<std::string> canonical_path(const std::string& path) override;
  platform::Result<void> create_folders(const std::string& path) override;
  platform::Result<void> delete_file(const std::string& path) override;
  platform::Result<void> remove_empty_folder(const std::string& path) override;
  platform::Result<void> rename_replace(const std::string& from, const std::string& to) override;
  platform::Result<void> copy_executable(const std::string& from, const std::string& to) override;
  platform::Result<void> write_file(const std::string& path, std::string_view bytes) override;
  platform::Result<void> set_registry_value(const std::string& key, const platform::RegistryValue& value) override;
  platform::Result<void> delete_registry_tree(const std::string& key) override;
  platform::MessageBoxAnswer message_box(std::string_view text, std::string_view caption,
                                         platform::MessageBoxKind kind) override;
  platform::Result<void> start_command_processor(const std::string& command, const std::string& working_folder,
                                                 platform::CreationOptions options) override;
  std::optional<MachineInstall> machine_install() override;
  bool standard_output_open() override;
  void print(std::string_view text) override;
  void print_error(std::string_view text) override;

 private:
  config::SettingsLoader settings_;
};

}  // namespace tessiva::install
