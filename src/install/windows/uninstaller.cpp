#include "install/windows/uninstaller.h"

#include "i18n/texts.h"
#include "install/windows/installer.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/windows/message_box.h"

namespace tessiva::install {

std::string removed_file_name(std::uint32_t process_id, int number) {
  return std::string(messages::PRODUCT_NAME) + "-removed-" + std::to_string(process_id) + "-" +
         std::to_string(number) + ".tmp";
}

std::string removal_command(const std::vector<std::string>& files, std::string_view folder) {
  std::string command = "ping 127.0.0.1 -n 4 > nul";
  for (const auto& name : files) {
    const std::string file = '"' + name + '"';
    // While the uninstaller still runs (its last message box is open) its executable
    // cannot be deleted: try again each second until it is gone. Each command in the
    // loop has its own test, so that the loop means the same whether a processor lets
    // an "if" govern the rest of the line or not. The space before ")" keeps "nul)"
    // from being read as a file name.
    command += " & del /f /q " + file;
    command += " & for /l %i in (1,1," + std::to_string(REMOVAL_RETRIES) + ") do (if exist " + file +
               " ping 127.0.0.1 -n 2 > nul & if exist " + file + " del /f /q " + file + " )";
  }
  // Without /s: a folder that holds anything by now (a new install) stays.
  if (!folder.empty()) command += " & rmdir \"" + std::string(folder) + '"';
  return command;
}

int run_uninstaller(InstallEnvironment& environment, bool quiet) {
  const i18n::Language language = environment.language();
  // Only the package removes what it installed; the user's own copy is removed by
  // that copy.
  if (const auto machine = running_machine_install(environment)) {
    const std::string text = uninstall_for_all_users(language, *machine);
    if (quiet) {
      environment.print_error(text + "\n");
    } else {
      tell(environment, text, platform::MessageBoxKind::Error);
    }
    return EXIT_FAILED;
  }
  if (!quiet) {
    const auto answer = environment.message_box(i18n::message_text(language, i18n::MessageKey::UninstallPrompt),
                                                messages::PRODUCT_NAME, platform::MessageBoxKind::Question);
    if (answer != platform::MessageBoxAnswer::Yes && answer != platform::MessageBoxAnswer::Ok) return EXIT_DECLINED;
  }

  // A key that is missing is no error: every removal is tried, none is reported.
  for (const auto& key : host_keys()) (void)environment.delete_registry_tree(key);
  (void)environment.delete_registry_tree(std::string(UNINSTALL_KEY));

  // The closing box comes before the removal starts: the removal's wait then begins
  // when the uninstaller is about to exit, not while the user reads the box. (Under
  // Wine, a box shown after the command processor started no longer takes input.)
  if (!quiet) {
    environment.message_box(i18n::message_text(language, i18n::MessageKey::UninstallDone), messages::PRODUCT_NAME,
                            platform::MessageBoxKind::Information);
  }

  const auto programs = environment.programs_folder();
  if (!programs) return EXIT_DONE;
  const InstallLayout layout = install_layout(*programs);
  std::vector<std::string> in_use;
  for (const std::string* path : {&layout.executable, &layout.previous_executable, &layout.staged_executable,
                                  &layout.chromium_manifest, &layout.firefox_manifest}) {
    if (!environment.file_exists(*path) || environment.delete_file(*path)) continue;
    // A running program cannot be deleted, but it can be renamed: it leaves the folder
    // under a name that no install uses, and only that name is deleted later.
    const std::string name = removed_file_name(platform::process_id(), static_cast<int>(in_use.size()) + 1);
    if (environment.rename_replace(*path, platform::join_path(*programs, name))) in_use.push_back(name);
  }
  const bool folder_removed =
      !environment.file_exists(layout.install_folder) || environment.remove_empty_folder(layout.install_folder);
  if (in_use.empty()) return EXIT_DONE;
  // The programs folder as working folder: the command names the files by their bare
  // names there, and the install folder, were it the working folder, could not be removed.
  (void)environment.start_command_processor(
      removal_command(in_use, folder_removed ? std::string_view() : messages::PRODUCT_NAME), *programs,
      REMOVAL_OPTIONS);
  return EXIT_DONE;
}

}  // namespace tessiva::install
