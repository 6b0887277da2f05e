#include "install/home_install.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "i18n/messages.h"
#include "install/environment.h"
#include "install/installer.h"
#include "messages/protocol.h"
#include "messages/version.h"

namespace tessiva::install {
namespace {

using i18n::MessageKey;
using platform::Result;

/// `folder` + "/" + `name`: home paths always take '/', also where this logic is built
/// and tested in the Windows build, whose platform joiner takes '\\'.
std::string joined(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.ends_with('/')) path += '/';
  path += name;
  return path;
}

std::string manifest_name() {
  std::string name(messages::NATIVE_HOST_NAME);
  name += ".json";
  return name;
}

std::string manifest_text(ManifestForm form, std::string_view executable) {
  return form == ManifestForm::Chromium ? chromium_manifest(executable) : firefox_manifest(executable);
}

std::string hosts_folder(const HomeLayout& layout, const BrowserFolder& browser) {
  return joined(joined(browser.in_config_home ? layout.config_home : layout.home, browser.browser_folder),
                browser.hosts_folder);
}

std::string sandbox_hosts_folder(const HomeLayout& layout, const FlatpakBrowser& browser) {
  return joined(joined(joined(layout.home, ".var/app"), browser.app_id), browser.hosts_folder);
}

/// "<what>: <system message>" for a failure line.
std::string reason(std::string_view what, const platform::OsError& error) {
  std::string text(what);
  text += ": ";
  text += error.message;
  return text;
}

/// Prints nothing when quiet; each text becomes one line.
class Printer {
 public:
  Printer(HomeEnvironment& environment, bool quiet) : environment_(environment), quiet_(quiet) {}

  void line(std::string_view text) {
    if (!quiet_) environment_.print(std::string(text) + "\n");
  }
  void error(std::string_view text) {
    if (!quiet_) environment_.print_error(std::string(text) + "\n");
  }

 private:
  HomeEnvironment& environment_;
  bool quiet_;
};

/// Writes `bytes` beside `path` and renames the copy over it, so that a browser
/// reading the file meanwhile finds the old text or the new one, never a part.
Result<void> replace_file(HomeEnvironment& environment, const std::string& path, std::string_view bytes) {
  const std::string staged = path + ".new";
  auto done = environment.write_file(staged, bytes);
  if (done) done = environment.rename_replace(staged, path);
  if (!done) (void)environment.delete_file(staged);
  return done;
}

/// The same for the program: a host of the old version that runs keeps its file, the
/// next start gets the new one.
Result<void> place_executable(HomeEnvironment& environment, const std::string& running, const HomeLayout& layout) {
  auto done = environment.copy_executable(running, layout.staged_executable);
  if (done) done = environment.rename_replace(layout.staged_executable, layout.executable);
  if (!done) (void)environment.delete_file(layout.staged_executable);
  return done;
}

bool same_file(HomeEnvironment& environment, const std::string& a, const std::string& b) {
  const auto canonical_a = environment.canonical_path(a);
  if (!canonical_a) return false;
  const auto canonical_b = environment.canonical_path(b);
  return canonical_b && *canonical_a == *canonical_b;
}

bool is_packaged(std::string_view running) {
  return running.starts_with(SYSTEM_FOLDER) && running.size() > SYSTEM_FOLDER.size() &&
         running[SYSTEM_FOLDER.size()] == '/';
}

/// The "path" of a manifest's text; none when the text is no manifest with a path.
std::optional<std::string> manifest_target(std::string_view text) {
  const auto json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return std::nullopt;
  const auto path = json.find("path");
  if (path == json.end() || !path->is_string()) return std::nullopt;
  return path->get<std::string>();
}

/// What became of a manifest found on uninstalling.
enum class Removal { Absent, Removed, Kept, Failed };

/// Removes the manifest `path` when it starts the installed program, and its folder
/// when that is left empty.
Removal remove_manifest(HomeEnvironment& environment, const HomeLayout& layout, const std::string& folder,
                        std::string_view browser, Printer& printer, i18n::Language language) {
  const std::string path = joined(folder, manifest_name());
  const auto text = environment.read_file(path);
  if (!text) {
    if (!environment.file_exists(path)) return Removal::Absent;
    printer.error(reason(path, text.error()));
    return Removal::Failed;
  }
  const auto target = manifest_target(*text);
  if (target != layout.executable) {
    // Another program's host under our name, or one a user pointed elsewhere: theirs.
    printer.line(i18n::format_message(language, MessageKey::ManifestKept,
                                      {browser, path, target.value_or(std::string("?"))}));
    return Removal::Kept;
  }
  if (auto deleted = environment.delete_file(path); !deleted) {
    printer.error(reason(path, deleted.error()));
    return Removal::Failed;
  }
  (void)environment.remove_empty_folder(folder);
  printer.line(i18n::format_message(language, MessageKey::ManifestRemoved, {browser}));
  return Removal::Removed;
}

}  // namespace

const std::vector<BrowserFolder>& browser_folders() {
  static const std::vector<BrowserFolder> folders = {
      // Opera reads Google Chrome's folder.
      {"Google Chrome", true, "google-chrome", "NativeMessagingHosts", ManifestForm::Chromium, true},
      {"Google Chrome Beta", true, "google-chrome-beta", "NativeMessagingHosts", ManifestForm::Chromium, false},
      {"Google Chrome Unstable", true, "google-chrome-unstable", "NativeMessagingHosts", ManifestForm::Chromium,
       false},
      {"Chromium", true, "chromium", "NativeMessagingHosts", ManifestForm::Chromium, true},
      {"Microsoft Edge", true, "microsoft-edge", "NativeMessagingHosts", ManifestForm::Chromium, false},
      {"Microsoft Edge Beta", true, "microsoft-edge-beta", "NativeMessagingHosts", ManifestForm::Chromium, false},
      {"Microsoft Edge Dev", true, "microsoft-edge-dev", "NativeMessagingHosts", ManifestForm::Chromium, false},
      {"Brave", true, "BraveSoftware/Brave-Browser", "NativeMessagingHosts", ManifestForm::Chromium, false},
      {"Brave Beta", true, "BraveSoftware/Brave-Browser-Beta", "NativeMessagingHosts", ManifestForm::Chromium, false},
      {"Brave Nightly", true, "BraveSoftware/Brave-Browser-Nightly", "NativeMessagingHosts", ManifestForm::Chromium,
       false},
      {"Vivaldi", true, "vivaldi", "NativeMessagingHosts", ManifestForm::Chromium, false},
      // The Firefox snap reads this folder too, through the desktop portal.
      {"Firefox", false, ".mozilla", "native-messaging-hosts", ManifestForm::Firefox, true},
      {"LibreWolf", false, ".librewolf", "native-messaging-hosts", ManifestForm::Firefox, false},
      {"Waterfox", false, ".waterfox", "native-messaging-hosts", ManifestForm::Firefox, false},
  };
  return folders;
}

const std::vector<FlatpakBrowser>& flatpak_browsers() {
  static const std::vector<FlatpakBrowser> browsers = {
      {"Google Chrome", "com.google.Chrome", "config/google-chrome/NativeMessagingHosts", ManifestForm::Chromium},
      {"Chromium", "org.chromium.Chromium", "config/chromium/NativeMessagingHosts", ManifestForm::Chromium},
      {"Microsoft Edge", "com.microsoft.Edge", "config/microsoft-edge/NativeMessagingHosts", ManifestForm::Chromium},
      {"Brave", "com.brave.Browser", "config/BraveSoftware/Brave-Browser/NativeMessagingHosts",
       ManifestForm::Chromium},
      {"Vivaldi", "com.vivaldi.Vivaldi", "config/vivaldi/NativeMessagingHosts", ManifestForm::Chromium},
      {"Firefox", "org.mozilla.firefox", ".mozilla/native-messaging-hosts", ManifestForm::Firefox},
      {"LibreWolf", "io.gitlab.librewolf-community", ".librewolf/native-messaging-hosts", ManifestForm::Firefox},
      {"Waterfox", "net.waterfox.waterfox", ".waterfox/native-messaging-hosts", ManifestForm::Firefox},
  };
  return browsers;
}

std::optional<HomeLayout> home_layout(HomeEnvironment& environment) {
  const auto home = environment.variable("HOME");
  if (!home || !home->starts_with('/')) return std::nullopt;
  HomeLayout layout;
  layout.home = *home;
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the browsers do.
  const auto config = environment.variable("XDG_CONFIG_HOME");
  layout.config_home = config && config->starts_with('/') ? *config : joined(layout.home, ".config");
  std::string lower_name(messages::PRODUCT_NAME);
  std::ranges::transform(lower_name, lower_name.begin(),
                         [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  layout.install_folder = joined(joined(layout.home, ".local/lib"), lower_name);
  layout.executable = joined(layout.install_folder, lower_name);
  layout.staged_executable = layout.executable + ".new";
  const std::string host(messages::NATIVE_HOST_NAME);
  layout.chromium_manifest = joined(layout.install_folder, host + ".chromium.json");
  layout.firefox_manifest = joined(layout.install_folder, host + ".firefox.json");
  return layout;
}

std::string manifest_path(const HomeLayout& layout, const BrowserFolder& browser) {
  return joined(hosts_folder(layout, browser), manifest_name());
}

bool is_yes_answer(std::string_view answer) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!answer.empty() && blank(answer.front())) answer.remove_prefix(1);
  while (!answer.empty() && blank(answer.back())) answer.remove_suffix(1);
  std::string lower(answer);
  std::ranges::transform(lower, lower.begin(),
                         [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  // "SÍ" lowers only in its ASCII letter: accept both forms of the accented letter.
  for (std::string_view yes : {"y", "yes", "s", "si", "s\xC3\xAD", "s\xC3\x8D", "sim"}) {
    if (lower == yes) return true;
  }
  return false;
}

int run_home_installer(HomeEnvironment& environment, bool quiet) {
  const i18n::Language language = environment.language();
  Printer printer(environment, quiet);
  const auto fail = [&](std::string_view why) {
    printer.error(std::string(i18n::message_text(language, MessageKey::InstallFailed)) + " " + std::string(why));
    return EXIT_FAILED;
  };

  const auto running = environment.executable_path();
  if (!running) return fail(reason("the running program", running.error()));
  // User manifests would shadow the package's and never be updated by it.
  if (is_packaged(*running)) {
    printer.line(i18n::message_text(language, MessageKey::InstalledSystemWide));
    return EXIT_DONE;
  }
  const auto layout = home_layout(environment);
  if (!layout) return fail("HOME is not set to an absolute path.");

  const bool update = environment.file_exists(layout->executable);
  if (!quiet && !update && environment.input_is_terminal()) {
    environment.print(std::string(i18n::message_text(language, MessageKey::InstallPrompt)) +
                      std::string(i18n::message_text(language, MessageKey::TerminalAnswerHint)));
    const auto answer = environment.read_answer();
    if (!answer || !is_yes_answer(*answer)) return EXIT_DECLINED;
  }

  if (auto made = environment.create_folders(layout->install_folder); !made)
    return fail(reason(layout->install_folder, made.error()));
  if (!same_file(environment, *running, layout->executable)) {
    if (auto placed = place_executable(environment, *running, *layout); !placed)
      return fail(reason(layout->executable, placed.error()));
  }
  for (const auto& [path, form] : {std::pair{layout->chromium_manifest, ManifestForm::Chromium},
                                   std::pair{layout->firefox_manifest, ManifestForm::Firefox}}) {
    if (auto written = replace_file(environment, path, manifest_text(form, layout->executable)); !written)
      return fail(reason(path, written.error()));
  }

  // Every browser is tried; one that fails makes the exit code, not the end.
  bool failed = false;
  for (const auto& browser : browser_folders()) {
    const std::string browser_folder =
        joined(browser.in_config_home ? layout->config_home : layout->home, browser.browser_folder);
    if (!browser.always && !environment.is_folder(browser_folder)) {
      printer.line(i18n::format_message(language, MessageKey::BrowserSkipped, {browser.name}));
      continue;
    }
    const std::string folder = hosts_folder(*layout, browser);
    auto written = environment.create_folders(folder);
    if (written) written = replace_file(environment, manifest_path(*layout, browser),
                                        manifest_text(browser.form, layout->executable));
    if (!written) {
      failed = true;
      fail(reason(std::string(browser.name) + ", " + folder, written.error()));
      continue;
    }
    printer.line(i18n::format_message(language, MessageKey::BrowserRegistered, {browser.name}));
  }

  // A sandboxed browser sees neither the program nor the manifests outside its own
  // folder: the user decides whether to open it up.
  for (const auto& browser : flatpak_browsers()) {
    if (!environment.is_folder(joined(joined(layout->home, ".var/app"), browser.app_id))) continue;
    printer.line(i18n::format_message(
        language, MessageKey::FlatpakAdvice,
        {browser.name, layout->install_folder, browser.app_id,
         browser.form == ManifestForm::Chromium ? layout->chromium_manifest : layout->firefox_manifest,
         joined(sandbox_hosts_folder(*layout, browser), manifest_name())}));
  }

  if (failed) return EXIT_FAILED;
  printer.line(i18n::message_text(language, update ? MessageKey::UpdateDone : MessageKey::InstallDone));
  return EXIT_DONE;
}

int run_home_uninstaller(HomeEnvironment& environment, bool quiet) {
  const i18n::Language language = environment.language();
  Printer printer(environment, quiet);
  const auto layout = home_layout(environment);
  if (!layout) {
    printer.error(std::string(i18n::message_text(language, MessageKey::UninstallFailed)) +
                  " HOME is not set to an absolute path.");
    return EXIT_FAILED;
  }

  bool failed = false;
  for (const auto& browser : browser_folders()) {
    failed |= remove_manifest(environment, *layout, hosts_folder(*layout, browser), browser.name, printer, language) ==
              Removal::Failed;
  }
  // Manifests that the user copied into a sandbox as the installer told them to.
  for (const auto& browser : flatpak_browsers()) {
    const std::string name = std::string(browser.name) + " (Flatpak)";
    failed |= remove_manifest(environment, *layout, sandbox_hosts_folder(*layout, browser), name, printer,
                              language) == Removal::Failed;
  }

  // Only the files the installer writes, then the folder if nothing else is left in it.
  for (const std::string& path : {layout->executable, layout->staged_executable, layout->chromium_manifest,
                                  layout->firefox_manifest, layout->chromium_manifest + ".new",
                                  layout->firefox_manifest + ".new"}) {
    if (!environment.file_exists(path)) continue;
    if (auto deleted = environment.delete_file(path); !deleted) {
      failed = true;
      printer.error(reason(path, deleted.error()));
    }
  }
  if (environment.is_folder(layout->install_folder)) (void)environment.remove_empty_folder(layout->install_folder);

  if (failed) {
    printer.error(i18n::message_text(language, MessageKey::UninstallFailed));
    return EXIT_FAILED;
  }
  printer.line(i18n::message_text(language, MessageKey::UninstallDone));
  return EXIT_DONE;
}

}  // namespace tessiva::install
