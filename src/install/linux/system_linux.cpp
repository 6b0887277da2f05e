// The installer's system on Linux: the home folder, the terminal it runs in, and the
// settings for the language of what it prints.

#include "install/system.h"

#include "config/store.h"
#include "install/linux/home_install.h"
#include "install/linux/system_linux.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/linux/installation.h"
#include "platform/process.h"

namespace tessiva::install {
namespace {

class LinuxHomeEnvironment : public HomeEnvironment {
 public:
  i18n::Language language() override { return i18n::ui_language(config::load_config().language); }
  platform::Result<std::string> executable_path() override { return platform::executable_path(); }
  std::optional<std::string> variable(const std::string& name) override {
    return platform::environment_variable(name);
  }
  bool is_folder(const std::string& path) override {
    const auto attributes = platform::file_attributes(path);
    return attributes && attributes->is_directory;
  }
  bool file_exists(const std::string& path) override { return platform::file_attributes(path).has_value(); }
  platform::Result<std::string> canonical_path(const std::string& path) override {
    return platform::canonical_path(path);
  }
  platform::Result<std::string> read_file(const std::string& path) override { return platform::read_file(path); }
  platform::Result<void> create_folders(const std::string& path) override { return platform::create_folders(path); }
  platform::Result<void> write_file(const std::string& path, std::string_view bytes) override {
    auto file = platform::create_truncate(path);
    if (!file) return std::unexpected(file.error());
    return file->write(bytes);
  }
  platform::Result<void> copy_executable(const std::string& from, const std::string& to) override {
    if (auto copied = platform::copy_file(from, to); !copied) return copied;
    return platform::make_executable(to);
  }
  platform::Result<void> rename_replace(const std::string& from, const std::string& to) override {
    return platform::rename_replace(from, to);
  }
  platform::Result<void> delete_file(const std::string& path) override { return platform::delete_file(path); }
  platform::Result<void> remove_empty_folder(const std::string& path) override {
    return platform::remove_empty_folder(path);
  }
  platform::Result<std::string> link_target(const std::string& path) override {
    return platform::symbolic_link_target(path);
  }
  platform::Result<void> create_link(const std::string& target, const std::string& path) override {
    return platform::create_symbolic_link(target, path);
  }
  platform::Result<void> make_executable(const std::string& path) override { return platform::make_executable(path); }
  platform::Result<int> run_program(const std::string& program, const std::vector<std::string>& argv) override {
    return platform::run_and_wait(program, argv);
  }
  bool input_is_terminal() override { return platform::standard_input_is_terminal(); }
  std::optional<std::string> read_answer() override { return platform::read_standard_input_line(); }
  void print(std::string_view text) override { platform::write_standard_output(text); }
  void print_error(std::string_view text) override { platform::write_standard_error(text); }
};

}  // namespace

std::optional<HomeLayout> current_home_layout() {
  LinuxHomeEnvironment environment;
  return home_layout(environment);
}

std::string current_command() {
  LinuxHomeEnvironment environment;
  const auto running = environment.executable_path();
  return running ? command_for_user(environment, *running) : std::string("tessiva");
}

int install_for_user(bool quiet, const std::vector<std::string>& sandboxes, bool /*per_user*/) {
  LinuxHomeEnvironment environment;
  return run_home_installer(environment, quiet, sandboxes);
}

int uninstall_for_user(bool quiet, const std::vector<std::string>& sandboxes) {
  LinuxHomeEnvironment environment;
  return run_home_uninstaller(environment, quiet, sandboxes);
}

}  // namespace tessiva::install
