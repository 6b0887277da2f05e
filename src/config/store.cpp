#include "config/store.h"


#include "config/reader.h"
#include "config/validation.h"
#include "config/writer.h"
#include "messages/version.h"
#include "naming/sweep.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "text/paths.h"

namespace tessiva::config {

std::optional<std::string> config_file_path() {
  const auto folder = platform::program_folder(platform::ProgramFolder::Settings, messages::PRODUCT_NAME);
  if (!folder) return std::nullopt;
  return platform::join_path(*folder, "config.json");
}

std::string temporary_path(const std::string& path) {
  return path + "." + std::to_string(platform::process_id()) + ".tmp";
}

std::optional<std::uint32_t> temporary_file_owner(std::string_view name, std::string_view file_name) {
  constexpr std::string_view ENDING = ".tmp";
  if (name.size() <= file_name.size() + 1 + ENDING.size() || !name.starts_with(file_name) ||
      name[file_name.size()] != '.' || !name.ends_with(ENDING))
    return std::nullopt;
  return naming::process_id_in_name(
      name.substr(file_name.size() + 1, name.size() - file_name.size() - 1 - ENDING.size()));
}

void remove_ended_temporaries(const std::string& folder, const std::string& path) {
  const std::string_view file_name = text::file_name(path, platform::native_path_style());
  // A host that may still run may be in the middle of its own store: only the files
  // of one that has surely ended go.
  naming::remove_files_of_ended_processes(
      folder, [&](std::string_view name) { return temporary_file_owner(name, file_name); });
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
  const auto folder = platform::program_folder(platform::ProgramFolder::Settings, messages::PRODUCT_NAME);
  if (!folder) return std::unexpected("no config directory");
  return store_config_file(*folder, platform::join_path(*folder, "config.json"), config);
}

std::expected<void, std::string> store_config_file(const std::string& folder, const std::string& path,
                                                   const Config& config) {
  // The temporary file is the process's own: two hosts storing at the same moment
  // with one shared temporary name would truncate each other's text, and the rename
  // could then put an empty or half-written file in place of config.json.
  const std::string temporary = temporary_path(path);
  const auto fail = [](const platform::OsError& e) { return std::unexpected(e.text()); };

  // The folder is the user's alone: the settings are nobody else's business.
  if (auto made = platform::create_private_folders(folder, 1); !made) return fail(made.error());
  // A host killed in the middle of a store leaves its temporary file behind; the next
  // store removes it, before writing, so that a full disk gets that space back first.
  remove_ended_temporaries(folder, path);
  const std::string text = write_config_json(config);
  // The temporary file is held, and so owned, from its creation until it has become
  // config.json.
  auto file = naming::create_own_file(temporary);
  if (!file) return fail(file.error());
  const auto fail_removing = [&](const platform::OsError& e) {
    (void)file->remove(temporary);  // nothing in it is needed any more
    return std::unexpected(e.text());
  };
  if (auto w = file->write(text); !w) return fail_removing(w.error());
  // Without this a power cut after the rename could leave a config.json whose
  // name is new but whose contents never reached the disk.
  if (auto f = file->flush_to_disk(); !f) return fail_removing(f.error());
  if (auto r = file->rename_to(temporary, path); !r) return fail_removing(r.error());
  return {};
}

}  // namespace tessiva::config
