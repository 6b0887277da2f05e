#include "config/requests.h"

#include "config/reader.h"
#include "config/save_folder.h"
#include "config/store.h"
#include "config/validation.h"
#include "config/writer.h"

namespace tessiva::config {

using messages::HostError;
using nlohmann::json;

namespace {

/// The reply of both requests for the record as it is stored.
json config_reply(const Config& stored) {
  const auto folder = effective_save_folder(default_config());
  json reply = json::object();
  reply["config"] = config_to_json(stored);
  reply["default_save_folder"] = folder ? json(*folder) : json(nullptr);
  reply["effective"] = reply["config"];
  return reply;
}

}  // namespace

json build_config_reply() { return config_reply(load_config()); }

messages::HandlerResult handle_get_config(const json&) { return build_config_reply(); }

messages::HandlerResult handle_set_config(const json& request) {
  static const json null_value = nullptr;
  const auto it = request.find("config");
  const auto parsed = parse_config_value(it == request.end() ? null_value : *it);
  if (!parsed) return std::unexpected(HostError{messages::error_code::INVALID_CONFIG, parsed.error()});
  if (const auto valid = validate_config(*parsed); !valid)
    return std::unexpected(HostError{messages::error_code::INVALID_CONFIG, std::string(valid.error())});
  if (const auto stored = store_config(*parsed); !stored) return std::unexpected(HostError::io_error(stored.error()));
  // The stored text reads back as this very record, so the reply is built from it.
  return config_reply(*parsed);
}

}  // namespace tessiva::config
