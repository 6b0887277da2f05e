#include "platform/folders.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/files.h"
#include "platform/linux/user_dirs.h"

namespace tessiva::platform {
namespace {

/// An environment variable that holds an absolute path; empty or relative values are
/// ignored, as the XDG rules ask.
std::optional<std::string> absolute_from_environment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return std::nullopt;
  return std::string(value);
}

std::optional<std::string> under_home(std::string_view relative) {
  auto home = absolute_from_environment("HOME");
  if (!home) return std::nullopt;
  return join_path(*home, relative);
}

/// $`variable`, or `fallback` inside the home folder.
std::optional<std::string> base_folder(const char* variable, std::string_view fallback) {
  if (auto path = absolute_from_environment(variable)) return path;
  return under_home(fallback);
}

std::string lower_case(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

/// The documents folder that the XDG user-dirs configuration names, if it names one.
std::optional<std::string> configured_documents_folder() {
  const auto config_home = base_folder("XDG_CONFIG_HOME", ".config");
  if (!config_home) return std::nullopt;
  const auto text = read_file(join_path(*config_home, "user-dirs.dirs"));
  if (!text) return std::nullopt;
  std::optional<std::string> found;
  // Every line that sets the variable counts, the last one winning, as when the shell
  // reads the file.
  for (std::size_t start = 0; start < text->size();) {
    auto end = text->find('\n', start);
    if (end == std::string::npos) end = text->size();
    if (auto path = documents_from_user_dirs_line(std::string_view(*text).substr(start, end - start))) {
      found = std::move(path);
    }
    start = end + 1;
  }
  return found;
}

}  // namespace

std::optional<std::string> documents_from_user_dirs_line(std::string_view line) {
  constexpr std::string_view NAME = "XDG_DOCUMENTS_DIR=\"";
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  if (!line.starts_with(NAME)) return std::nullopt;
  line.remove_prefix(NAME.size());
  // The value is "$HOME/relative" or "/absolute", in double quotes; a backslash takes
  // the next character as it is.
  std::string value;
  bool closed = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      value += line[++i];
    } else if (line[i] == '"') {
      closed = true;
      break;
    } else {
      value += line[i];
    }
  }
  if (!closed) return std::nullopt;
  constexpr std::string_view HOME = "$HOME";
  if (value.starts_with(HOME) && (value.size() == HOME.size() || value[HOME.size()] == '/')) {
    auto home = absolute_from_environment("HOME");
    if (!home) return std::nullopt;
    std::string_view rest = std::string_view(value).substr(HOME.size());
    while (rest.starts_with('/')) rest.remove_prefix(1);
    return rest.empty() ? *home : join_path(*home, rest);
  }
  if (value.starts_with('/')) return value;
  return std::nullopt;
}

std::optional<std::string> program_folder(ProgramFolder folder, std::string_view product) {
  switch (folder) {
    case ProgramFolder::Settings: {
      const auto config = base_folder("XDG_CONFIG_HOME", ".config");
      if (!config) return std::nullopt;
      return join_path(*config, lower_case(product));
    }
    case ProgramFolder::Transfers: {
      const auto cache = base_folder("XDG_CACHE_HOME", ".cache");
      if (!cache) return std::nullopt;
      return join_path(join_path(*cache, lower_case(product)), "transfers");
    }
    case ProgramFolder::Logs: {
      const auto state = base_folder("XDG_STATE_HOME", ".local/state");
      if (!state) return std::nullopt;
      return join_path(*state, lower_case(product));
    }
    case ProgramFolder::Documents:
      if (auto configured = configured_documents_folder()) return configured;
      return under_home("Documents");
  }
  return std::nullopt;
}

}  // namespace tessiva::platform
