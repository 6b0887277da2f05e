#include "messages/reply.h"

namespace tessiva::messages {

nlohmann::json success_reply(nlohmann::json id, nlohmann::json result) {
  nlohmann::json reply = nlohmann::json::object();
  reply["id"] = std::move(id);
  reply["ok"] = true;
  reply["result"] = std::move(result);
  return reply;
}

nlohmann::json error_reply(nlohmann::json id, const HostError& error) {
  nlohmann::json body = nlohmann::json::object();
  body["code"] = std::string(error.code);
  if (error.detail) body["detail"] = *error.detail;
  nlohmann::json reply = nlohmann::json::object();
  reply["error"] = std::move(body);
  reply["id"] = std::move(id);
  reply["ok"] = false;
  return reply;
}

std::string write_compact(const nlohmann::json& value) {
  // Text inside the program is valid UTF-8; should anything slip through, it is
  // written with U+FFFD rather than ending the host with an exception.
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string write_indented(const nlohmann::ordered_json& value) {
  return value.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace tessiva::messages
