#include "config/writer.h"

#include "messages/reply.h"

namespace tessiva::config {
namespace {

using nlohmann::ordered_json;

/// The record with its members in declaration order, which is the order of
/// config.json; `type_defaults` keeps the map's ascending key order.
ordered_json to_ordered_json(const Config& config) {
  ordered_json apps = ordered_json::array();
  for (const App& app : config.apps) {
    ordered_json a = ordered_json::object();
    a["id"] = app.id;
    a["name"] = app.name;
    a["path"] = app.path;
    a["args"] = app.args;
    a["file_types"] = app.file_types;
    apps.push_back(std::move(a));
  }
  ordered_json out = ordered_json::object();
  out["version"] = config.version;
  out["save_folder"] = config.save_folder ? ordered_json(*config.save_folder) : ordered_json(nullptr);
  out["name_pattern"] = config.name_pattern;
  out["apps"] = std::move(apps);
  out["type_defaults"] = config.type_defaults;
  out["language"] = config.language;
  out["theme"] = config.theme;
  out["show_detected_apps"] = config.show_detected_apps;
  out["reveal_after_save"] = config.reveal_after_save;
  return out;
}

}  // namespace

std::string write_config_json(const Config& config) { return messages::write_indented(to_ordered_json(config)); }

nlohmann::json config_to_json(const Config& config) { return nlohmann::json(to_ordered_json(config)); }

}  // namespace tessiva::config
