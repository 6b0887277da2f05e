#pragma once
/// The steps of the self-check that every system takes alike: reading a manifest that
/// a browser found, starting the program it names as the browser would, and checking
/// the host's own settings and folders. Each system's lookup (check_<system>.cpp)
/// decides which manifest a browser finds.

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "check/check.h"

namespace tessiva::check {

[[nodiscard]] bool path_exists(const std::string& path);
[[nodiscard]] bool is_folder(const std::string& path);

/// True when the JSON array `list` holds the string `value`.
[[nodiscard]] bool holds(const nlohmann::json& list, std::string_view value);

/// Checks the manifest `path` that a browser of `family` found: readable, valid JSON,
/// our name, "stdio", the program's path (which it stores in `program`) absolute and
/// existing, our extension admitted; then, with `start_program`, the program answering
/// "hello" with our version. On Windows a relative path is taken from the manifest's
/// folder, as the browsers there take it.
[[nodiscard]] CheckCode check_manifest(const std::string& path, BrowserFamily family, bool start_program,
                                       std::string& program);

/// Whether the program a manifest names is started as the browser would start it.
enum class ProgramStart {
  Skip,
  Start,
  /// Not started because the check runs as root; reported as such when all else is ok.
  WithheldAsRoot,
};

/// Fills in `check` for the manifest a browser found (`check.location`): the manifest's
/// checks as `check_manifest` takes them, then a block list that names the host
/// (`blocked_by`: the policy at fault, empty when none). The report names the program
/// only for a problem about the program, or when it was withheld as root.
void check_found_manifest(BrowserCheck& check, ProgramStart start, const std::string& blocked_by);

/// Starts the program `path` as a browser of `family` would with the manifest
/// `manifest`, and gives its answer to "hello": ok, no answer, or another version.
[[nodiscard]] CheckCode probe_program(const std::string& path, BrowserFamily family, const std::string& manifest);

/// The settings file, the save folder, the transfers folder and the free space.
[[nodiscard]] std::vector<FolderCheck> folder_checks();

}  // namespace tessiva::check
