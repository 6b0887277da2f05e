#include "install/windows/installer.h"

#include <limits>

#include "i18n/texts.h"
#include "install/placing.h"
#include "messages/protocol.h"
#include "platform/files.h"
#include "platform/windows/message_box.h"

namespace tessiva::install {
namespace {

using platform::RegistryValue;
using platform::Result;

std::string with_suffix(std::string_view text, std::string_view suffix) {
  std::string result(text);
  result += suffix;
  return result;
}

bool is_yes(platform::MessageBoxAnswer answer) {
  return answer == platform::MessageBoxAnswer::Yes || answer == platform::MessageBoxAnswer::Ok;
}

/// The steps after the question: everything that can fail with a system error.
Result<void> install(InstallEnvironment& environment, const InstallLayout& layout) {
  const auto running = environment.executable_path();
  if (!running) return std::unexpected(running.error());
  if (auto made = environment.create_folders(layout.install_folder); !made) return made;
  if (!same_file(environment, *running, layout.executable)) {
    // A running program's file cannot be deleted here: the old one is moved aside.
    const ExecutablePlaces places{layout.executable, layout.staged_executable, layout.previous_executable};
    if (auto placed = place_executable(environment, *running, places); !placed) return placed;
  }

  if (auto written = environment.write_file(layout.chromium_manifest, chromium_manifest(layout.executable)); !written)
    return written;
  if (auto written = environment.write_file(layout.firefox_manifest, firefox_manifest(layout.executable)); !written)
    return written;

  for (const auto& registration : host_registrations(layout)) {
    if (auto set = environment.set_registry_value(registration.key, RegistryValue{"", registration.manifest}); !set)
      return set;
  }
  for (const auto& value : uninstall_entry(layout, environment.file_size(layout.executable))) {
    if (auto set = environment.set_registry_value(std::string(UNINSTALL_KEY), value); !set) return set;
  }
  return {};
}

}  // namespace

std::string host_key(std::string_view browser_key) {
  return with_suffix(with_suffix(browser_key, "\\NativeMessagingHosts\\"), messages::NATIVE_HOST_NAME);
}

std::array<std::string, 4> host_keys() {
  std::array<std::string, 4> keys;
  for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = host_key(HOST_BROWSERS[i].key);
  return keys;
}

InstallLayout install_layout(std::string_view programs_folder) {
  InstallLayout layout;
  layout.install_folder = platform::join_path(programs_folder, messages::PRODUCT_NAME);
  layout.executable = platform::join_path(layout.install_folder, EXECUTABLE_NAME);
  layout.previous_executable = with_suffix(layout.executable, ".old");
  layout.staged_executable = with_suffix(layout.executable, ".new");
  layout.chromium_manifest =
      platform::join_path(layout.install_folder, with_suffix(messages::NATIVE_HOST_NAME, ".chromium.json"));
  layout.firefox_manifest =
      platform::join_path(layout.install_folder, with_suffix(messages::NATIVE_HOST_NAME, ".firefox.json"));
  return layout;
}

std::vector<HostRegistration> host_registrations(const InstallLayout& layout) {
  std::vector<HostRegistration> registrations;
  for (const auto& browser : HOST_BROWSERS) {
    registrations.push_back({host_key(browser.key), browser.family == BrowserFamily::Firefox ? layout.firefox_manifest : layout.chromium_manifest});
  }
  return registrations;
}

std::uint32_t estimated_size(std::optional<std::uint64_t> bytes) noexcept {
  if (!bytes) return 0;
  const std::uint64_t kib = *bytes / 1024;
  return kib > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                         : static_cast<std::uint32_t>(kib);
}

std::vector<RegistryValue> uninstall_entry(const InstallLayout& layout, std::optional<std::uint64_t> executable_size) {
  return {
      {"DisplayName", std::string(messages::PRODUCT_NAME)},
      {"DisplayVersion", std::string(messages::HOST_VERSION)},
      {"Publisher", std::string(PUBLISHER)},
      {"DisplayIcon", layout.executable},
      {"InstallLocation", layout.install_folder},
      {"UninstallString", "\"" + layout.executable + "\" --uninstall"},
      {"NoModify", std::uint32_t{1}},
      {"NoRepair", std::uint32_t{1}},
      {"EstimatedSize", estimated_size(executable_size)},
  };
}

int run_installer(InstallEnvironment& environment, bool quiet, bool per_user) {
  const i18n::Language language = environment.language();
  const auto show = [&](std::string_view text, platform::MessageBoxKind kind) {
    return environment.message_box(text, messages::PRODUCT_NAME, kind);
  };

  // The copy installed for all users is kept up to date by its package: a copy of it
  // for one user would only take its place and grow old.
  if (const auto machine = running_machine_install(environment)) {
    if (!quiet) tell(environment, installed_for_all_users(language, *machine), platform::MessageBoxKind::Information);
    return EXIT_DONE;
  }

  const auto fail = [&](const platform::OsError& error) {
    if (!quiet) {
      std::string text(i18n::message_text(language, i18n::MessageKey::InstallFailed));
      text += "\n\n";
      text += error.message;
      show(text, platform::MessageBoxKind::Error);
    }
    return EXIT_FAILED;
  };

  // Without a programs folder there is nowhere to install; a double-click must still
  // say so.
  const auto programs = environment.programs_folder();
  if (!programs) return fail(programs.error());
  const InstallLayout layout = install_layout(*programs);

  if (!per_user && environment.machine_install()) {
    // A per-user copy takes the place of the one for all users in every browser that
    // reads the user's keys first: only on request.
    if (quiet) {
      environment.print_error(std::string(i18n::message_text(language, i18n::MessageKey::MachineInstallRefused)) + "\n");
      return EXIT_INSTALLED_FOR_ALL_USERS;
    }
    const auto answer = show(i18n::message_text(language, i18n::MessageKey::MachineInstallPrompt),
                             platform::MessageBoxKind::QuestionNo);
    if (answer != platform::MessageBoxAnswer::Yes) return EXIT_DECLINED;
  } else if (!quiet && !environment.file_exists(layout.executable)) {
    const auto answer = show(i18n::message_text(language, i18n::MessageKey::InstallPrompt),
                             platform::MessageBoxKind::Question);
    if (!is_yes(answer)) return EXIT_DECLINED;
  }
  const bool update = environment.file_exists(layout.executable);

  if (auto installed = install(environment, layout); !installed) return fail(installed.error());
  if (!quiet) {
    show(i18n::message_text(language, update ? i18n::MessageKey::UpdateDone : i18n::MessageKey::InstallDone),
         platform::MessageBoxKind::Information);
  }
  return EXIT_DONE;
}

}  // namespace tessiva::install
