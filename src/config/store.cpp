#include "config/store.h"

#include "messages/version.h"
#include "config/reader.h"
#include "config/validation.h"
#include "config/writer.h"

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/process.h"

namespace tessiva::config {

std::optional<std::string> config_file_path() {
  const auto roaming = platform::known_folder_path(platform::KnownFolder::RoamingAppData);
  if (!roaming) return std::nullopt;
  return platform::join_path(platform::join_path(*roaming, messages::PRODUCT_NAME), "config.json");
}

std::string temporary_path(const std::string& path) {
  return path + "." + std::to_string(platform::process_id()) + ".tmp";
}

Config load_config() {
  const auto path = config_file_path();
  return path ? load_config_file(*path) : default_config();
}

Config load_config_file(const std::string& path) {
  const auto text = platform::read_file(path);
  if (!text) return default_config();
  auto parsed = parse_config_text(*text);
  if (!parsed || !validate_config(*parsed)) return default_config();
  return std::move(*parsed);
}

std::expected<void, std::string> store_config(const Config& config) {
  const auto roaming = platform::known_folder_path(platform::KnownFolder::RoamingAppData);
  if (!roaming) return std::unexpected("no config directory");
  const std::string folder = platform::join_path(*roaming, messages::PRODUCT_NAME);
  return store_config_file(folder, platform::join_path(folder, "config.json"), config);
}

std::expected<void, std::string> store_config_file(const std::string& folder, const std::string& path,
                                                   const Config& config) {
  // The temporary file is the process's own: two hosts storing at the same moment
  // with one shared temporary name would truncate each other's text, and the rename
  // could then put an empty or half-written file in place of config.json.
  const std::string temporary = temporary_path(path);
  const auto fail = [](const platform::OsError& e) { return std::unexpected(e.text()); };

  const auto fail_removing = [&](const platform::OsError& e) {
    (void)platform::delete_file(temporary);  // nothing in it is needed any more
    return std::unexpected(e.text());
  };
  if (auto made = platform::create_folders(folder); !made) return fail(made.error());
  const std::string text = write_config_json(config);
  {
    auto file = platform::create_truncate(temporary);
    if (!file) return fail(file.error());
    if (auto w = file->write(text); !w) return fail_removing(w.error());
    // Without this a power cut after the rename could leave a config.json whose
    // name is new but whose contents never reached the disk.
    if (auto f = file->flush_to_disk(); !f) return fail_removing(f.error());
  }
  if (auto r = platform::rename_replace(temporary, path); !r) return fail_removing(r.error());
  return {};
}

}  // namespace tessiva::config
