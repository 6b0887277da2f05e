#include "install/linux/sandbox.h"

#include <algorithm>

namespace tessiva::install {
namespace {

constexpr std::string_view WRAPPER_HEAD =
    "#!/bin/sh\n"
    "# Written by Tessiva: the browser's sandbox starts this, and it starts Tessiva outside\n"
    "# the sandbox with the browser's arguments. Removed by \"tessiva --uninstall\".\n";
// The host ends with the wrapper (--watch-bus): the browser stops a host by ending the
// process it started.
constexpr std::string_view WRAPPER_EXEC = "exec flatpak-spawn --watch-bus --host ";
constexpr std::string_view WRAPPER_TAIL = " \"$@\"\n";

bool plain_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '.' ||
         c == '_' || c == '-' || c == '+' || c == '=' || c == ',' || c == ':' || c == '@';
}

/// The word `shell_quoted` wrote, read back; none for anything else.
std::optional<std::string> unquoted(std::string_view word) {
  if (!word.empty() && std::ranges::all_of(word, plain_character)) return std::string(word);
  if (word.size() < 2 || word.front() != '\'' || word.back() != '\'') return std::nullopt;
  std::string text;
  for (std::size_t i = 1; i + 1 < word.size(); ++i) {
    if (word[i] != '\'') {
      text += word[i];
      continue;
    }
    // A quote inside is written '\'' : close, an escaped quote, open again.
    if (word.substr(i, 4) != "'\\''") return std::nullopt;
    text += '\'';
    i += 3;
  }
  return text;
}

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string joined(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.ends_with('/')) path += '/';
  path += name;
  return path;
}

}  // namespace

std::string shell_quoted(std::string_view text) {
  if (!text.empty() && std::ranges::all_of(text, plain_character)) return std::string(text);
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string_view("'\\''") : std::string_view(&c, 1);
  return quoted + "'";
}

std::string wrapper_script(std::string_view host) {
  std::string script(WRAPPER_HEAD);
  script += WRAPPER_EXEC;
  script += shell_quoted(host);
  script += WRAPPER_TAIL;
  return script;
}

std::optional<std::string> wrapper_host(std::string_view script) {
  if (!script.starts_with(WRAPPER_HEAD)) return std::nullopt;
  std::string_view rest = script.substr(WRAPPER_HEAD.size());
  if (!rest.starts_with(WRAPPER_EXEC) || !rest.ends_with(WRAPPER_TAIL)) return std::nullopt;
  rest = rest.substr(WRAPPER_EXEC.size(), rest.size() - WRAPPER_EXEC.size() - WRAPPER_TAIL.size());
  auto host = unquoted(rest);
  if (!host || !host->starts_with('/')) return std::nullopt;
  return host;
}

std::vector<std::string> override_arguments(std::string_view app_id, std::string_view name, bool allow) {
  std::string permission(allow ? "--talk-name=" : "--no-talk-name=");
  permission += name;
  return {"flatpak", "override", "--user", permission, std::string(app_id)};
}

std::string override_command(std::string_view app_id, std::string_view name, bool allow) {
  std::string command;
  for (const auto& word : override_arguments(app_id, name, allow)) {
    if (!command.empty()) command += ' ';
    command += shell_quoted(word);
  }
  return command;
}

std::string flatpak_user_folder(const std::function<std::optional<std::string>(const std::string&)>& variable,
                                std::string_view home) {
  if (auto folder = variable("FLATPAK_USER_DIR"); folder && folder->starts_with('/')) return *folder;
  if (auto data = variable("XDG_DATA_HOME"); data && data->starts_with('/')) return joined(*data, "flatpak");
  return joined(home, ".local/share/flatpak");
}

std::vector<std::string> permission_files(std::string_view user_folder, std::string_view system_folder,
                                          std::string_view app_id) {
  const std::string metadata = joined(joined("app", app_id), "current/active/metadata");
  return {
      joined(system_folder, metadata),
      joined(user_folder, metadata),
      joined(system_folder, "overrides/global"),
      joined(joined(system_folder, "overrides"), app_id),
      joined(user_folder, "overrides/global"),
      user_override_file(user_folder, app_id),
  };
}

std::string user_override_file(std::string_view user_folder, std::string_view app_id) {
  return joined(joined(user_folder, "overrides"), app_id);
}

bool may_talk_to(const std::vector<std::optional<std::string>>& files, std::string_view name) {
  // The policy for the name itself wins over one for a "prefix.*" that covers it.
  std::optional<std::string> exact;
  std::optional<std::string> covering;
  for (const auto& file : files) {
    if (!file) continue;
    std::string_view rest = *file;
    bool in_group = false;
    while (!rest.empty()) {
      const auto end = rest.find('\n');
      const std::string_view line = trimmed(rest.substr(0, end));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      if (line.starts_with('[')) {
        in_group = line == "[Session Bus Policy]";
        continue;
      }
      const auto equals = line.find('=');
      if (!in_group || equals == std::string_view::npos) continue;
      const std::string_view key = trimmed(line.substr(0, equals));
      const std::string value(trimmed(line.substr(equals + 1)));
      if (key == name) {
        exact = value;
      } else if (key.ends_with(".*") && name.starts_with(key.substr(0, key.size() - 1))) {
        covering = value;
      }
    }
  }
  const auto& policy = exact ? exact : covering;
  return policy && (*policy == "talk" || *policy == "own");
}

}  // namespace tessiva::install
