#pragma once
/// config.json: where it lives, reading it, and replacing it atomically.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "config/config.h"

namespace tessiva::config {

/// Full path of config.json under the roaming application-data folder; none when that
/// folder cannot be found.
[[nodiscard]] std::optional<std::string> config_file_path();

/// The stored settings. Never fails and never creates anything: a missing, unreadable,
/// malformed or invalid file gives the defaults.
[[nodiscard]] Config load_config();

/// Replaces config.json by `config` (already validated): the text goes to
/// a temporary file of this process beside it (see `temporary_path`), is flushed to
/// the disk and then renamed over config.json, so that neither a failed store, a power
/// cut nor another host storing at the same moment leaves config.json empty or
/// half-written. A failed store removes its temporary file. Every store first removes
/// the temporary files of hosts that were killed while storing
/// (`remove_ended_temporaries`).
/// The error is "no config directory" or "<system message> (os error <n>)".
[[nodiscard]] std::expected<void, std::string> store_config(const Config& config);

/// "<path>.<process id>.tmp": the temporary file of a store by this process.
[[nodiscard]] std::string temporary_path(const std::string& path);

/// The process id in the name of a temporary file of a store of `file_name`
/// ("<file_name>.<pid>.tmp", the id in decimal without a leading zero, as
/// `temporary_path` writes it); none for any other name.
[[nodiscard]] std::optional<std::uint32_t> temporary_file_owner(std::string_view name, std::string_view file_name);

/// Deletes the temporary files of stores of `path` left in `folder` by processes that
/// have surely ended (killed in the middle of a store). Those of processes that may
/// still run, this one's included, stay, and so does every other file. Failures are
/// ignored.
void remove_ended_temporaries(const std::string& folder, const std::string& path);

/// `load_config` and `store_config` on an explicit file (which must be named
/// "*.json"); the folder that holds it is created by the store.
[[nodiscard]] Config load_config_file(const std::string& path);
[[nodiscard]] std::expected<void, std::string> store_config_file(const std::string& folder, const std::string& path,
                                                               const Config& config);

}  // namespace tessiva::config
