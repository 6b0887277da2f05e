#include "install/uninstaller.h"

#include "i18n/messages.h"
#include "install/installer.h"
#include "platform/ui.h"

namespace tessiva::install {

std::string removal_command(std::string_view install_folder) {
  const bool plain = install_folder.find_first_of("%!") == std::string_view::npos;
  std::string folder;
  folder += '"';
  folder += plain ? install_folder : messages::PRODUCT_NAME;
  folder += '"';

  std::string command = "ping 127.0.0.1 -n 4 > nul & rmdir /s /q ";
  command += folder;
  // While the uninstaller still runs (its last message box is open) its executable,
  // and so the folder, cannot be removed: try again each second until it is gone.
  // Each command in the loop has its own test, so that the loop means the same
  // whether a processor lets an "if" govern the rest of the line or not. The space
  // before ")" keeps "nul)" from being read as a file name.
  command += " & for /l %i in (1,1,";
  command += std::to_string(REMOVAL_RETRIES);
  command += ") do (if exist ";
  command += folder;
  command += " ping 127.0.0.1 -n 2 > nul & if exist ";
  command += folder;
  command += " rmdir /s /q ";
  command += folder;
  command += " )";
  return command;
}

int run_uninstaller(InstallEnvironment& environment, bool quiet) {
  const i18n::Language language = environment.language();
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
  if (programs) {
    const InstallLayout layout = install_layout(*programs);
    // The programs folder as working folder: a command processor whose working folder
    // were the install folder itself could never remove it.
    (void)environment.start_command_processor(removal_command(layout.install_folder), *programs,
                                              REMOVAL_OPTIONS);
  }
  return EXIT_DONE;
}

}  // namespace tessiva::install
