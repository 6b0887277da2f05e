#include "main/dispatch.h"

#include <algorithm>
#include <array>

#include "config/requests.h"
#include "messages/protocol.h"
#include "messages/reply.h"
#include "open/save_and_open.h"
#include "platform/process.h"
#include "shell/app_info.h"
#include "shell/explorer.h"
#include "shell/handlers.h"
#include "shell/pickers.h"
#include "transfers/transfers.h"

namespace tessiva::app {
namespace {

using messages::HandlerResult;
using messages::HostError;
using nlohmann::json;

using Handler = HandlerResult (*)(HostState&, const json&);

HandlerResult hello(HostState&, const json&) { return hello_result(); }

struct Route {
  std::string_view type;
  Handler handler;  ///< null while the request is not built into this program yet
};

// The complete request table. Matching is exact and case-sensitive.
constexpr std::array ROUTES{
    Route{"hello", hello},
    Route{"get_config", [](HostState&, const json& r) { return config::handle_get_config(r); }},
    Route{"set_config", [](HostState&, const json& r) { return config::handle_set_config(r); }},
    Route{"begin_transfer",
          [](HostState& s, const json& r) { return transfers::handle_begin_transfer(s.transfers, r); }},
    Route{"transfer_chunk",
          [](HostState& s, const json& r) { return transfers::handle_transfer_chunk(s.transfers, r); }},
    Route{"finish_transfer",
          [](HostState& s, const json& r) { return transfers::handle_finish_transfer(s.transfers, r); }},
    Route{"cancel_transfer",
          [](HostState& s, const json& r) { return transfers::handle_cancel_transfer(s.transfers, r); }},
    Route{"open_file", [](HostState&, const json& r) { return open::handle_open_file(r); }},
    Route{"list_handlers", [](HostState&, const json& r) { return shell::handle_list_handlers(r); }},
    Route{"app_info", [](HostState&, const json& r) { return shell::handle_app_info(r); }},
    Route{"pick_folder", [](HostState& s, const json&) { return shell::handle_pick_folder(s.parent_window); }},
    Route{"pick_application",
          [](HostState& s, const json&) { return shell::handle_pick_application(s.parent_window); }},
    Route{"open_save_folder", [](HostState&, const json&) { return shell::handle_open_save_folder(); }},
    Route{"reveal", [](HostState&, const json& r) { return shell::handle_reveal(r); }},
};

Handler find_handler(std::string_view type) {
  const auto it = std::find_if(ROUTES.begin(), ROUTES.end(), [&](const Route& r) { return r.type == type; });
  return it == ROUTES.end() ? nullptr : it->handler;
}

}  // namespace

json hello_result() {
  json result = json::object();
  result["host_version"] = std::string(messages::HOST_VERSION);
  result["platform"] = std::string(platform::PLATFORM_NAME);
  result["protocol"] = messages::PROTOCOL_VERSION;
  return result;
}

bool is_known_request(std::string_view type) { return find_handler(type) != nullptr; }

json dispatch(HostState& state, const json& request) {
  if (!request.is_object()) return messages::error_reply(nullptr, HostError::invalid_request());
  const auto id_it = request.find("id");
  json id = id_it == request.end() ? json(nullptr) : *id_it;
  const auto type_it = request.find("type");
  const std::string_view type =
      type_it != request.end() && type_it->is_string() ? std::string_view(type_it->get_ref<const std::string&>()) : "";

  const Handler handler = find_handler(type);
  if (handler == nullptr)
    return messages::error_reply(std::move(id), HostError{messages::error_code::UNKNOWN_REQUEST, std::nullopt});
  HandlerResult outcome = [&]() -> HandlerResult {
    try {
      return handler(state, request);
    } catch (const std::exception&) {
      // Handlers report failures as values; an exception here is a fault (memory, or a
      // library throwing unexpectedly) and must not end the host.
      return std::unexpected(HostError::io_error("internal error"));
    }
  }();
  if (!outcome) return messages::error_reply(std::move(id), outcome.error());
  return messages::success_reply(std::move(id), std::move(*outcome));
}

}  // namespace tessiva::app
