#pragma once
// An installation environment in memory: files, folders and registry values live in
// maps, message boxes are answered from a script, and every change is recorded so
// that tests can assert on what was touched and in which order.

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "install/windows/environment.h"
#include "platform/windows/message_box.h"

namespace tessiva::install::test {

struct FakeFile {
  std::string bytes;
  /// In use as a running program: it cannot be deleted, but it can be renamed.
  bool running = false;
  /// Open without delete sharing: it can be neither deleted nor renamed.
  bool open_without_delete_sharing = false;
};

struct ShownBox {
  std::string text;
  std::string caption;
  platform::MessageBoxKind kind;
};

struct StartedCommand {
  std::string command;
  std::string working_folder;
  platform::CreationOptions options;
};

class FakeEnvironment : public InstallEnvironment {
 public:
  // What the environment is made of; tests set these up.
  i18n::Language ui_language = i18n::Language::En;
  std::optional<std::string> programs;
  std::string running_executable;
  std::map<std::string, FakeFile> files;
  std::set<std::string> folders;
  /// Paths that name the same file as another one (as "..\" or letter case would).
  std::map<std::string, std::string> aliases;
  std::map<std::string, std::map<std::string, platform::RegistryData>> registry;
  std::deque<platform::MessageBoxAnswer> answers;
  /// The installation for all users, as `machine_install` finds it.
  std::optional<MachineInstall> machine;
  bool output_open = false;

  // Failures to inject.
  bool executable_path_fails = false;
  std::set<std::string> folder_creation_fails;
  bool copy_fails = false;
  std::set<std::string> write_fails;
  std::set<std::string> registry_key_fails;
  bool command_processor_fails = false;

  // What happened.
  std::vector<ShownBox> boxes;
  std::vector<std::string> changes;
  std::vector<std::string> deleted_trees;
  std::vector<StartedCommand> commands;
  std::string output;
  std::string errors;

  static platform::OsError error(std::string message) { return {5, std::move(message)}; }

  i18n::Language language() override { return ui_language; }
  platform::Result<std::string> programs_folder() override {
    if (!programs) return std::unexpected(error("no programs folder"));
    return *programs;
  }

  platform::Result<std::string> executable_path() override {
    if (executable_path_fails) return std::unexpected(error("no module name"));
    return running_executable;
  }

  bool file_exists(const std::string& path) override { return files.contains(resolve(path)) || folders.contains(path); }

  std::optional<std::uint64_t> file_size(const std::string& path) override {
    const auto found = files.find(resolve(path));
    if (found == files.end()) return std::nullopt;
    return found->second.bytes.size();
  }

  platform::Result<std::string> canonical_path(const std::string& path) override {
    if (!file_exists(path)) return std::unexpected(error("not found"));
    return resolve(path);
  }

  platform::Result<void> create_folders(const std::string& path) override {
    if (folder_creation_fails.contains(path)) return std::unexpected(error("folder refused"));
    if (folders.insert(path).second) changes.push_back("mkdir " + path);
    return {};
  }

  platform::Result<void> delete_file(const std::string& path) override {
    const auto found = files.find(resolve(path));
    if (found == files.end()) return std::unexpected(error("not found"));
    if (found->second.running || found->second.open_without_delete_sharing) return std::unexpected(error("in use"));
    files.erase(found);
    changes.push_back("delete " + path);
    return {};
  }

  platform::Result<void> remove_empty_folder(const std::string& path) override {
    if (!folders.contains(path)) return std::unexpected(error("not found"));
    const auto inside = [&](const std::string& other) {
      return other.size() > path.size() && other.starts_with(path) && (other[path.size()] == '/' || other[path.size()] == '\\');
    };
    if (std::ranges::any_of(files, [&](const auto& file) { return inside(file.first); }) ||
        std::ranges::any_of(folders, inside))
      return std::unexpected(error("not empty"));
    folders.erase(path);
    changes.push_back("rmdir " + path);
    return {};
  }

  platform::Result<void> rename_replace(const std::string& from, const std::string& to) override {
    const auto found = files.find(resolve(from));
    if (found == files.end()) return std::unexpected(error("not found"));
    if (found->second.open_without_delete_sharing) return std::unexpected(error("sharing violation"));
    const auto target = files.find(to);
    if (target != files.end() && (target->second.running || target->second.open_without_delete_sharing))
      return std::unexpected(error("target in use"));
    FakeFile moved = found->second;
    files.erase(found);
    files[to] = moved;
    changes.push_back("rename " + from + " -> " + to);
    return {};
  }

  platform::Result<void> copy_executable(const std::string& from, const std::string& to) override {
    const auto found = files.find(resolve(from));
    if (found == files.end()) return std::unexpected(error("not found"));
    if (copy_fails) return std::unexpected(error("disk full"));
    files[to] = FakeFile{found->second.bytes};
    changes.push_back("copy " + from + " -> " + to);
    return {};
  }

  platform::Result<void> write_file(const std::string& path, std::string_view bytes) override {
    if (write_fails.contains(path)) return std::unexpected(error("write refused"));
    files[path] = FakeFile{std::string(bytes)};
    changes.push_back("write " + path);
    return {};
  }

  platform::Result<void> set_registry_value(const std::string& key, const platform::RegistryValue& value) override {
    if (registry_key_fails.contains(key)) return std::unexpected(error("access denied"));
    registry[key][value.name] = value.data;
    changes.push_back("set " + key + " " + value.name);
    return {};
  }

  platform::Result<void> delete_registry_tree(const std::string& key) override {
    deleted_trees.push_back(key);
    if (registry.erase(key) == 0) return std::unexpected(error("not found"));
    return {};
  }

  platform::MessageBoxAnswer message_box(std::string_view text, std::string_view caption,
                                         platform::MessageBoxKind kind) override {
    boxes.push_back({std::string(text), std::string(caption), kind});
    if (answers.empty()) return platform::MessageBoxAnswer::Ok;
    const platform::MessageBoxAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  platform::Result<void> start_command_processor(const std::string& command, const std::string& working_folder,
                                                 platform::CreationOptions options) override {
    commands.push_back({command, working_folder, options});
    if (command_processor_fails) return std::unexpected(error("no command processor"));
    return {};
  }

  std::optional<MachineInstall> machine_install() override { return machine; }
  bool standard_output_open() override { return output_open; }
  void print(std::string_view text) override { output += text; }
  void print_error(std::string_view text) override { errors += text; }

 private:
  std::string resolve(const std::string& path) const {
    const auto alias = aliases.find(path);
    return alias == aliases.end() ? path : alias->second;
  }
};

}  // namespace tessiva::install::test
