#include "install/linux/home_install.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "i18n/texts.h"
#include "install/linux/sandbox.h"
#include "install/manifests.h"
#include "install/placing.h"
#include "install/system.h"
#include "messages/json_reader.h"
#include "messages/protocol.h"
#include "messages/version.h"
#include "text/paths.h"

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

std::string hosts_folder(const HomeLayout& layout, const BrowserFolder& browser) {
  return joined(joined(browser.in_config_home ? layout.config_home : layout.home, browser.browser_folder),
                browser.hosts_folder);
}

std::string sandbox_folder(const HomeLayout& layout, const FlatpakBrowser& browser) {
  return joined(joined(layout.home, ".var/app"), browser.app_id);
}

std::string sandbox_hosts_folder(const HomeLayout& layout, const FlatpakBrowser& browser) {
  return joined(sandbox_folder(layout, browser), browser.hosts_folder);
}

/// The lines of a record file (folders made, permissions granted); none when missing.
std::vector<std::string> record_lines(HomeEnvironment& environment, const std::string& path) {
  std::vector<std::string> lines;
  const auto text = environment.read_file(path);
  if (!text) return lines;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    if (end != 0) lines.emplace_back(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  return lines;
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
Result<void> replace_file(HomeEnvironment& environment, const std::string& path, std::string_view bytes,
                          bool executable = false) {
  const std::string staged = path + ".new";
  auto done = environment.write_file(staged, bytes);
  if (done && executable) done = environment.make_executable(staged);
  if (done) done = environment.rename_replace(staged, path);
  if (!done) (void)environment.delete_file(staged);
  return done;
}

/// The folders from `path` up that do not exist yet, the outermost first.
std::vector<std::string> missing_folders(HomeEnvironment& environment, const std::string& path) {
  std::vector<std::string> missing;
  for (std::string folder = path; folder.size() > 1 && !environment.is_folder(folder);) {
    missing.insert(missing.begin(), folder);
    // The walk ends below the root.
    const std::string_view parent = text::parent_folder(folder, text::PathStyle::Posix);
    if (parent.size() <= 1) break;
    folder.resize(parent.size());
  }
  return missing;
}

/// The folders an earlier install recorded as made by it.
std::vector<std::string> recorded_folders(HomeEnvironment& environment, const HomeLayout& layout) {
  std::vector<std::string> folders;
  for (auto& line : record_lines(environment, layout.created_folders))
    if (line.starts_with('/')) folders.push_back(std::move(line));
  return folders;
}

/// Creates `path` and its missing parents, adding to `created` those that were missing.
Result<void> make_folders(HomeEnvironment& environment, const std::string& path, std::vector<std::string>& created) {
  const auto missing = missing_folders(environment, path);
  auto made = environment.create_folders(path);
  if (made) {
    for (const auto& folder : missing)
      if (std::ranges::find(created, folder) == created.end()) created.push_back(folder);
  }
  return made;
}

/// True when `folder` is one of the folders in the PATH variable's list.
bool on_path(HomeEnvironment& environment, std::string_view folder) {
  const std::string path = environment.variable("PATH").value_or("");
  std::string_view rest = path;
  for (;;) {
    const auto end = rest.find(':');
    std::string_view entry = rest.substr(0, end);
    while (entry.size() > 1 && entry.ends_with('/')) entry.remove_suffix(1);
    if (entry == folder) return true;
    if (end == std::string_view::npos) return false;
    rest.remove_prefix(end + 1);
  }
}

bool is_packaged(std::string_view running) {
  return running.starts_with(SYSTEM_FOLDER) && running.size() > SYSTEM_FOLDER.size() &&
         running[SYSTEM_FOLDER.size()] == '/';
}

/// The "path" of a manifest's text; none when the text is no manifest with a path.
std::optional<std::string> manifest_target(std::string_view text) {
  const auto parsed = messages::read_json_file(text);
  if (!parsed || !parsed->is_object()) return std::nullopt;
  const nlohmann::json& json = *parsed;
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

/// Links the command ~/.local/bin/tessiva to the installed program, unless a command of
/// that name that is not ours is there; says where the command is.
Result<void> link_command(HomeEnvironment& environment, const HomeLayout& layout, std::vector<std::string>& created,
                          Printer& printer, i18n::Language language) {
  if (auto made = make_folders(environment, layout.commands_folder, created); !made) return made;
  const auto target = environment.link_target(layout.command_link);
  if (target && *target != layout.executable && environment.file_exists(layout.command_link)) {
    printer.line(i18n::format_message(language, MessageKey::CommandKept, {layout.command_link, *target}));
    return {};
  }
  if (!target && environment.file_exists(layout.command_link)) {
    printer.line(i18n::format_message(language, MessageKey::CommandKept, {layout.command_link, layout.command_link}));
    return {};
  }
  if (!target || *target != layout.executable) {
    // A link of ours that lost its program is replaced.
    if (target) (void)environment.delete_file(layout.command_link);
    if (auto linked = environment.create_link(layout.executable, layout.command_link); !linked) return linked;
  }
  if (on_path(environment, layout.commands_folder)) {
    printer.line(i18n::format_message(language, MessageKey::CommandLinked, {layout.command_link}));
  } else {
    printer.line(i18n::format_message(language, MessageKey::CommandNotOnPath,
                                      {layout.command_link, layout.commands_folder}));
  }
  return {};
}

/// The file `name` in the first folder of the PATH that holds one, as a shell finds a
/// command; none when no folder does.
std::optional<std::string> find_on_path(HomeEnvironment& environment, std::string_view name) {
  const std::string path = environment.variable("PATH").value_or("");
  std::string_view rest = path;
  for (;;) {
    const auto end = rest.find(':');
    const std::string_view entry = rest.substr(0, end);
    if (entry.starts_with('/')) {
      std::string candidate = joined(entry, name);
      if (environment.file_exists(candidate) && !environment.is_folder(candidate)) return candidate;
    }
    if (end == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(end + 1);
  }
}

/// True when the Flatpak's manifest starts a wrapper of ours beside it.
bool sandbox_set_up(HomeEnvironment& environment, const HomeLayout& layout, const FlatpakBrowser& browser) {
  const auto text = environment.read_file(sandbox_manifest_path(layout, browser));
  if (!text) return false;
  const std::string wrapper = sandbox_wrapper_path(layout, browser);
  if (manifest_target(*text) != wrapper) return false;
  const auto script = environment.read_file(wrapper);
  return script && wrapper_host(*script).has_value();
}

/// True when the Flatpak may already talk to the Flatpak service, by its metadata or
/// an override.
bool permission_present(HomeEnvironment& environment, const HomeLayout& layout, std::string_view app_id) {
  const std::string user =
      flatpak_user_folder([&](const std::string& name) { return environment.variable(name); }, layout.home);
  std::vector<std::optional<std::string>> texts;
  for (const auto& path : permission_files(user, FLATPAK_SYSTEM_FOLDER, app_id)) {
    auto text = environment.read_file(path);
    texts.push_back(text ? std::optional(std::move(*text)) : std::nullopt);
  }
  return may_talk_to(texts, FLATPAK_SERVICE);
}

enum class Override { Done, NoCommand, Failed };

/// Grants (or takes back) the Flatpak's permission to talk to the Flatpak service with
/// the `flatpak` command; without one on the PATH nothing is run.
Override change_permission(HomeEnvironment& environment, std::string_view app_id, bool allow) {
  const auto flatpak = find_on_path(environment, "flatpak");
  if (!flatpak) return Override::NoCommand;
  const auto status = environment.run_program(*flatpak, override_arguments(app_id, FLATPAK_SERVICE, allow));
  return status && *status == 0 ? Override::Done : Override::Failed;
}

/// Writes the wrapper that starts `host` outside the sandbox, then the manifest that
/// starts the wrapper, into the Flatpak's folder.
Result<void> write_sandbox(HomeEnvironment& environment, const HomeLayout& layout, const FlatpakBrowser& browser,
                           const std::string& host, std::vector<std::string>& created) {
  const std::string wrapper = sandbox_wrapper_path(layout, browser);
  auto done = make_folders(environment, sandbox_hosts_folder(layout, browser), created);
  if (done) done = replace_file(environment, wrapper, wrapper_script(host), true);
  if (done) done = replace_file(environment, sandbox_manifest_path(layout, browser), chromium_manifest(wrapper));
  return done;
}

/// Removes the Flatpak's manifest and wrapper when they are ours.
Removal remove_sandbox(HomeEnvironment& environment, const HomeLayout& layout, const FlatpakBrowser& browser,
                       Printer& printer, i18n::Language language) {
  if (!sandbox_set_up(environment, layout, browser)) return Removal::Absent;
  Removal removal = Removal::Removed;
  for (const auto& path : {sandbox_manifest_path(layout, browser), sandbox_wrapper_path(layout, browser)}) {
    if (auto deleted = environment.delete_file(path); !deleted) {
      printer.error(reason(path, deleted.error()));
      removal = Removal::Failed;
    }
  }
  (void)environment.remove_empty_folder(sandbox_hosts_folder(layout, browser));
  if (removal == Removal::Removed)
    printer.line(i18n::format_message(language, MessageKey::ManifestRemoved, {std::string(browser.name) + " (Flatpak)"}));
  return removal;
}

/// Writes `lines` into the record file `path`, or removes it when there are none.
Result<void> write_record(HomeEnvironment& environment, const std::string& path, const std::vector<std::string>& lines) {
  if (lines.empty()) {
    if (environment.file_exists(path)) return environment.delete_file(path);
    return {};
  }
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return replace_file(environment, path, text);
}

bool contains(const std::vector<std::string>& list, std::string_view item) {
  return std::ranges::find(list, item) != list.end();
}

/// The Chromium-family Flatpaks by name and app id, for the question and the errors.
std::string sandbox_names(const std::vector<const FlatpakBrowser*>& browsers) {
  std::string names;
  for (const auto* browser : browsers) {
    if (!names.empty()) names += ", ";
    names += std::string(browser->name) + " (" + std::string(browser->app_id) + ")";
  }
  return names;
}

/// The Flatpaks named by `--sandbox`, or the line that says which id is none of them.
std::optional<std::vector<const FlatpakBrowser*>> chosen_sandboxes(const std::vector<std::string>& app_ids,
                                                                   Printer& printer, i18n::Language language) {
  std::vector<const FlatpakBrowser*> chosen;
  for (const auto& app_id : app_ids) {
    const FlatpakBrowser* browser = sandbox_browser(app_id);
    if (browser == nullptr) {
      std::vector<const FlatpakBrowser*> all;
      for (const auto& known : flatpak_browsers())
        if (known.family == BrowserFamily::Chromium) all.push_back(&known);
      printer.error(i18n::format_message(language, MessageKey::SandboxUnknown, {app_id, sandbox_names(all)}));
      return std::nullopt;
    }
    if (std::ranges::find(chosen, browser) == chosen.end()) chosen.push_back(browser);
  }
  return chosen;
}

/// The Flatpaks' side of an install, for the program `host`. A sandboxed browser sees
/// neither the program nor the manifests outside its own folder. Firefox asks the proxy
/// service outside, which reads the manifest outside; a Chromium-family browser needs a
/// wrapper in its sandbox and a permission that only the user may give: those in `chosen`
/// get both, those set up before keep their wrapper up to date, the others found get the
/// commands. Returns false when a step failed.
bool set_up_sandboxes(HomeEnvironment& environment, const HomeLayout& layout, const std::string& host,
                      const std::vector<const FlatpakBrowser*>& chosen, std::vector<std::string>& created,
                      std::vector<std::string>& granted, Printer& printer, i18n::Language language) {
  bool done_all = true;
  const auto fail = [&](std::string_view why) {
    printer.error(std::string(i18n::message_text(language, MessageKey::InstallFailed)) + " " + std::string(why));
    done_all = false;
  };
  const std::string command = command_for_user(environment, host);
  for (const auto& browser : flatpak_browsers()) {
    const bool present = environment.is_folder(sandbox_folder(layout, browser));
    const std::string name = std::string(browser.name) + " (Flatpak)";
    if (browser.family == BrowserFamily::Firefox) {
      if (present)
        printer.line(i18n::format_message(language, MessageKey::FlatpakAdvice, {browser.name, PROXY_SERVICE, command}));
      continue;
    }
    const std::string grant = override_command(browser.app_id, FLATPAK_SERVICE, true);
    const bool opted_in = std::ranges::find(chosen, &browser) != chosen.end();
    if (!opted_in && !sandbox_set_up(environment, layout, browser)) {
      if (present)
        printer.line(i18n::format_message(language, MessageKey::SandboxAdvice,
                                          {name, command + " --install --sandbox " + std::string(browser.app_id), grant}));
      continue;
    }
    if (auto written = write_sandbox(environment, layout, browser, host, created); !written) {
      fail(reason(name + ", " + sandbox_hosts_folder(layout, browser), written.error()));
      continue;
    }
    printer.line(i18n::format_message(language, MessageKey::SandboxRegistered,
                                      {name, sandbox_wrapper_path(layout, browser)}));
    if (permission_present(environment, layout, browser.app_id)) continue;
    // Never granted without the user's word: a sandbox set up before whose permission
    // was taken back only gets the command.
    const Override done = opted_in ? change_permission(environment, browser.app_id, true) : Override::NoCommand;
    if (done == Override::Done) {
      if (!contains(granted, browser.app_id)) granted.emplace_back(browser.app_id);
      printer.line(i18n::format_message(language, MessageKey::SandboxPermissionGranted, {name, grant}));
      continue;
    }
    if (done == Override::Failed) fail(grant);
    printer.line(i18n::format_message(language, MessageKey::SandboxPermissionNeeded, {name, grant}));
  }

  return done_all;
}

/// Writes the records of the folders made and the permissions granted.
Result<void> write_records(HomeEnvironment& environment, const HomeLayout& layout, std::vector<std::string>& created,
                           std::vector<std::string>& granted) {
  if ((!created.empty() || !granted.empty()) && !environment.is_folder(layout.install_folder)) {
    if (auto made = make_folders(environment, layout.install_folder, created); !made) return made;
  }
  for (const auto& [path, lines] : {std::pair{layout.created_folders, &created},
                                    std::pair{layout.granted_permissions, &granted}}) {
    if (auto written = write_record(environment, path, *lines); !written)
      return std::unexpected(platform::OsError{written.error().code, path + ": " + written.error().message});
  }
  return {};
}

/// A usage error: an app id that names no browser Tessiva can set up.
constexpr int EXIT_BAD_ARGUMENT = 2;

}  // namespace

const FlatpakBrowser* sandbox_browser(std::string_view app_id) {
  for (const auto& browser : flatpak_browsers())
    if (browser.family == BrowserFamily::Chromium && browser.app_id == app_id) return &browser;
  return nullptr;
}

std::string sandbox_manifest_path(const HomeLayout& layout, const FlatpakBrowser& browser) {
  return joined(sandbox_hosts_folder(layout, browser), manifest_name());
}

std::string sandbox_wrapper_path(const HomeLayout& layout, const FlatpakBrowser& browser) {
  return joined(sandbox_hosts_folder(layout, browser), std::string(messages::NATIVE_HOST_NAME) + ".sh");
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
  layout.commands_folder = joined(layout.home, ".local/bin");
  layout.command_link = joined(layout.commands_folder, lower_name);
  layout.created_folders = joined(layout.install_folder, "created-folders");
  layout.granted_permissions = joined(layout.install_folder, "granted-permissions");
  return layout;
}

std::string command_for_user(HomeEnvironment& environment, const std::string& program) {
  std::string name(messages::PRODUCT_NAME);
  std::ranges::transform(name, name.begin(),
                         [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  const auto ours = environment.canonical_path(program);
  const std::string path = environment.variable("PATH").value_or("");
  std::string_view rest = path;
  while (ours) {
    const auto end = rest.find(':');
    const std::string_view entry = rest.substr(0, end);
    // The shell runs the first command of that name on the PATH: it decides.
    if (entry.starts_with('/')) {
      const std::string candidate = joined(entry, name);
      if (environment.file_exists(candidate)) {
        if (environment.canonical_path(candidate) == ours) return name;
        break;
      }
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return shell_quoted(program);
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

int run_home_installer(HomeEnvironment& environment, bool quiet, const std::vector<std::string>& sandboxes) {
  const i18n::Language language = environment.language();
  Printer printer(environment, quiet);
  const auto fail = [&](std::string_view why) {
    printer.error(std::string(i18n::message_text(language, MessageKey::InstallFailed)) + " " + std::string(why));
    return EXIT_FAILED;
  };

  const auto running = environment.executable_path();
  if (!running) return fail(reason("the running program", running.error()));
  // User manifests would shadow the package's and never be updated by it.
  const bool packaged = is_packaged(*running);
  const auto layout = home_layout(environment);
  if (!layout && packaged && sandboxes.empty()) {
    printer.line(i18n::message_text(language, MessageKey::InstalledSystemWide));
    return EXIT_DONE;
  }
  if (!layout) return fail("HOME is not set to an absolute path.");
  const auto chosen = chosen_sandboxes(sandboxes, printer, language);
  if (!chosen) return EXIT_BAD_ARGUMENT;

  // Asked once from a terminal: the first install, and letting a sandbox start
  // programs outside it (a sandbox set up before is only kept up to date).
  const bool update = environment.file_exists(layout->executable);
  std::vector<const FlatpakBrowser*> new_sandboxes;
  for (const auto* browser : *chosen)
    if (!sandbox_set_up(environment, *layout, *browser)) new_sandboxes.push_back(browser);
  const auto ask = [&](const std::string& question) {
    environment.print(question + std::string(i18n::message_text(language, MessageKey::TerminalAnswerHint)));
    const auto answer = environment.read_answer();
    if (answer && is_yes_answer(*answer)) return true;
    environment.print(std::string(i18n::message_text(language, MessageKey::NothingChanged)) + "\n");
    return false;
  };
  if (!quiet && environment.input_is_terminal()) {
    if (!update && !packaged && !ask(std::string(i18n::message_text(language, MessageKey::InstallPrompt))))
      return EXIT_DECLINED;
    if (!new_sandboxes.empty() &&
        !ask(i18n::format_message(language, MessageKey::SandboxPrompt,
                                  {sandbox_names(new_sandboxes), FLATPAK_SERVICE})))
      return EXIT_DECLINED;
  }

  std::vector<std::string> created = recorded_folders(environment, *layout);
  std::vector<std::string> granted = record_lines(environment, layout->granted_permissions);
  if (packaged) {
    // The package's manifests outside serve every browser but those in a sandbox,
    // whose wrappers start the package's program.
    printer.line(i18n::message_text(language, MessageKey::InstalledSystemWide));
    const bool done = set_up_sandboxes(environment, *layout, *running, *chosen, created, granted, printer, language);
    if (auto written = write_records(environment, *layout, created, granted); !written)
      return fail(written.error().message);
    return done ? EXIT_DONE : EXIT_FAILED;
  }
  if (auto made = make_folders(environment, layout->install_folder, created); !made)
    return fail(reason(layout->install_folder, made.error()));
  if (!same_file(environment, *running, layout->executable)) {
    // A running host keeps its file; the next start gets the new one.
    const ExecutablePlaces places{layout->executable, layout->staged_executable, {}};
    if (auto placed = place_executable(environment, *running, places); !placed)
      return fail(reason(layout->executable, placed.error()));
  }
  for (const auto& [path, form] : {std::pair{layout->chromium_manifest, BrowserFamily::Chromium},
                                   std::pair{layout->firefox_manifest, BrowserFamily::Firefox}}) {
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
    // A browser whose folder this installer made is not there yet: its manifest waits
    // for it.
    const bool ahead = !environment.is_folder(browser_folder) || std::ranges::find(created, browser_folder) != created.end();
    const std::string folder = hosts_folder(*layout, browser);
    auto written = make_folders(environment, folder, created);
    if (written) written = replace_file(environment, manifest_path(*layout, browser),
                                        manifest_text(browser.family, layout->executable));
    if (!written) {
      failed = true;
      fail(reason(std::string(browser.name) + ", " + folder, written.error()));
      continue;
    }
    printer.line(i18n::format_message(language, ahead ? MessageKey::BrowserRegisteredAhead : MessageKey::BrowserRegistered,
                                      {browser.name}));
  }

  failed |= !set_up_sandboxes(environment, *layout, layout->executable, *chosen, created, granted, printer, language);
  if (auto linked = link_command(environment, *layout, created, printer, language); !linked) {
    failed = true;
    fail(reason(layout->command_link, linked.error()));
  }

  if (auto written = write_records(environment, *layout, created, granted); !written)
    return fail(written.error().message);

  if (failed) return EXIT_FAILED;
  printer.line(i18n::message_text(language, update ? MessageKey::UpdateDone : MessageKey::InstallDone));
  return EXIT_DONE;
}

int run_home_uninstaller(HomeEnvironment& environment, bool quiet, const std::vector<std::string>& sandboxes) {
  const i18n::Language language = environment.language();
  Printer printer(environment, quiet);
  const auto layout = home_layout(environment);
  if (!layout) {
    printer.error(std::string(i18n::message_text(language, MessageKey::UninstallFailed)) +
                  " HOME is not set to an absolute path.");
    return EXIT_FAILED;
  }

  const auto chosen = chosen_sandboxes(sandboxes, printer, language);
  if (!chosen) return EXIT_BAD_ARGUMENT;

  bool failed = false;
  bool found = false;
  const auto take_back = [&](Removal removal) {
    failed |= removal == Removal::Failed;
    found |= removal == Removal::Removed || removal == Removal::Failed;
    return removal == Removal::Removed || removal == Removal::Failed;
  };
  if (chosen->empty()) {
    for (const auto& browser : browser_folders())
      take_back(remove_manifest(environment, *layout, hosts_folder(*layout, browser), browser.name, printer, language));
  }
  // The wrappers in sandboxes, the permissions granted for them, and manifests that the
  // user copied into a sandbox as an earlier version told them to.
  std::vector<std::string> granted = record_lines(environment, layout->granted_permissions);
  for (const auto& browser : flatpak_browsers()) {
    if (!chosen->empty() && std::ranges::find(*chosen, &browser) == chosen->end()) continue;
    const std::string name = std::string(browser.name) + " (Flatpak)";
    bool ours = take_back(remove_sandbox(environment, *layout, browser, printer, language));
    ours |= take_back(
        remove_manifest(environment, *layout, sandbox_hosts_folder(*layout, browser), name, printer, language));
    if (!contains(granted, browser.app_id)) {
      if (!ours && !chosen->empty())
        printer.line(i18n::format_message(language, MessageKey::SandboxNotSetUp, {name}));
      continue;
    }
    found = true;
    const std::string revoke = override_command(browser.app_id, FLATPAK_SERVICE, false);
    switch (change_permission(environment, browser.app_id, false)) {
      case Override::Done:
        printer.line(i18n::format_message(language, MessageKey::SandboxPermissionRevoked, {name, revoke}));
        break;
      case Override::Failed:
        failed = true;
        printer.error(revoke);
        [[fallthrough]];
      case Override::NoCommand:
        printer.line(i18n::format_message(language, MessageKey::SandboxRevokeNeeded, {name, revoke}));
        break;
    }
    std::erase(granted, std::string(browser.app_id));
  }
  if (!chosen->empty()) {
    // Only these sandboxes: the folders made for them that are left empty go, and the
    // records keep the rest.
    std::vector<std::string> created = recorded_folders(environment, *layout);
    std::ranges::sort(created, [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    std::erase_if(created, [&](const std::string& folder) {
      const bool inside = std::ranges::any_of(*chosen, [&](const FlatpakBrowser* browser) {
        const std::string sandbox = sandbox_folder(*layout, *browser);
        return folder == sandbox || folder.starts_with(sandbox + "/");
      });
      return inside && environment.remove_empty_folder(folder).has_value();
    });
    for (const auto& [path, lines] : {std::pair{layout->created_folders, &created},
                                      std::pair{layout->granted_permissions, &granted}}) {
      if (!environment.file_exists(layout->install_folder)) break;
      if (auto written = write_record(environment, path, *lines); !written) {
        failed = true;
        printer.error(reason(path, written.error()));
      }
    }
    return failed ? EXIT_FAILED : EXIT_DONE;
  }
  if (environment.link_target(layout->command_link) == layout->executable) {
    found = true;
    if (auto deleted = environment.delete_file(layout->command_link); !deleted) {
      failed = true;
      printer.error(reason(layout->command_link, deleted.error()));
    }
  }

  // Only the files the installer writes, then the folders it made if nothing else is
  // left in them, the deepest first.
  std::vector<std::string> created = recorded_folders(environment, *layout);
  for (const std::string& path : {layout->executable, layout->staged_executable, layout->chromium_manifest,
                                  layout->firefox_manifest, layout->chromium_manifest + ".new",
                                  layout->firefox_manifest + ".new", layout->created_folders,
                                  layout->created_folders + ".new", layout->granted_permissions,
                                  layout->granted_permissions + ".new"}) {
    if (!environment.file_exists(path)) continue;
    found = true;
    if (auto deleted = environment.delete_file(path); !deleted) {
      failed = true;
      printer.error(reason(path, deleted.error()));
    }
  }
  created.push_back(layout->install_folder);
  std::ranges::sort(created, [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const auto& folder : created) {
    if (environment.is_folder(folder)) (void)environment.remove_empty_folder(folder);
  }

  if (!found && !failed) {
    printer.line(i18n::message_text(language, MessageKey::NotInstalled));
    return EXIT_DONE;
  }
  if (failed) {
    printer.error(i18n::message_text(language, MessageKey::UninstallFailed));
    return EXIT_FAILED;
  }
  printer.line(i18n::message_text(language, MessageKey::UninstallDone));
  return EXIT_DONE;
}

}  // namespace tessiva::install
