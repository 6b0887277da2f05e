#include "config/writer.h"

#include "config/fields.h"
#include "messages/reply.h"

namespace tessiva::config {
namespace {

using nlohmann::ordered_json;

template <class Field>
std::string key(Field f) {
  return std::string(field_name(f));
}

/// The record with its members in declaration order, which is the order of
/// config.json; `type_defaults` keeps the map's ascending key order.
ordered_json to_ordered_json(const Config& config) {
  ordered_json apps = ordered_json::array();
  for (const App& app : config.apps) {
    ordered_json a = ordered_json::object();
    a[key(AppField::Id)] = app.id;
    a[key(AppField::Name)] = app.name;
    a[key(AppField::Path)] = app.path;
    a[key(AppField::Args)] = app.args;
    a[key(AppField::FileTypes)] = app.file_types;
    apps.push_back(std::move(a));
  }
  ordered_json out = ordered_json::object();
  out[key(ConfigField::Version)] = config.version;
  out[key(ConfigField::SaveFolder)] = config.save_folder ? ordered_json(*config.save_folder) : ordered_json(nullptr);
  out[key(ConfigField::NamePattern)] = config.name_pattern;
  out[key(ConfigField::Apps)] = std::move(apps);
  out[key(ConfigField::TypeDefaults)] = config.type_defaults;
  out[key(ConfigField::Language)] = config.language;
  out[key(ConfigField::Theme)] = config.theme;
  out[key(ConfigField::ShowDetectedApps)] = config.show_detected_apps;
  out[key(ConfigField::RevealAfterSave)] = config.reveal_after_save;
  return out;
}

}  // namespace

std::string write_config_json(const Config& config) { return messages::write_indented(to_ordered_json(config)); }

nlohmann::json config_to_json(const Config& config) { return nlohmann::json(to_ordered_json(config)); }

}  // namespace tessiva::config
