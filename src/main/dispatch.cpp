#include "main/dispatch.h"

#include <algorithm>
#include <array>

#include "check/check.h"
#include "config/requests.h"
#include "desktop/app_info.h"
#include "desktop/handlers.h"
#include "desktop/pickers.h"
#include "desktop/reveal.h"
#include "messages/protocol.h"
#include "messages/reply.h"
#include "open/save_and_open.h"
#include "platform/process.h"
#include "transfers/transfers.h"

namespace tessiva::app {
namespace {

using messages::HandlerResult;
using messages::HostError;
using nlohmann::json;

using messages::Request;

/// Handlers that read only the value get the long strings copied into it
/// (`with_long_strings`); "transfer_chunk" reads its data where it lies, and requests
/// that read no member never pay for one.
using Handler = HandlerResult (*)(HostState&, Request&);

HandlerResult hello(HostState&, Request&) { return hello_result(); }

/// The self-check for the extension's settings page. The programs the manifests name
/// are not started: the answer must come quickly, and the program answering is the
/// proof that at least the caller's registration works.
HandlerResult diagnose(HostState& state, Request&) {
  const auto report = check::run_check({.start_programs = false, .caller = state.caller});
  // Written as a reply, a path that is not valid UTF-8 gets the same replacement
  // characters as in the text form.
  return json(check::report_value(report));
}

struct Route {
  std::string_view type;
  Handler handler;  ///< null while the request is not built into this program yet
};

// The complete request table. Matching is exact and case-sensitive.
constexpr std::array ROUTES{
    Route{"hello", hello},
    Route{"get_config", [](HostState&, Request& r) { return config::handle_get_config(r.with_long_strings()); }},
    Route{"set_config", [](HostState&, Request& r) { return config::handle_set_config(r.with_long_strings()); }},
    Route{"begin_transfer",
          [](HostState& s, Request& r) { return transfers::handle_begin_transfer(s.transfers, r.with_long_strings()); }},
    Route{"transfer_chunk",
          [](HostState& s, Request& r) { return transfers::handle_transfer_chunk(s.transfers, r); }},
    Route{"finish_transfer",
          [](HostState& s, Request& r) {
            return transfers::handle_finish_transfer(s.transfers, r.with_long_strings(), s.settings);
          }},
    Route{"cancel_transfer",
          [](HostState& s, Request& r) { return transfers::handle_cancel_transfer(s.transfers, r.with_long_strings()); }},
    Route{"open_file", [](HostState& s, Request& r) { return open::handle_open_file(r.with_long_strings(), s.settings); }},
    Route{"list_handlers", [](HostState&, Request& r) { return desktop::handle_list_handlers(r.with_long_strings()); }},
    Route{"app_info", [](HostState&, Request& r) { return desktop::handle_app_info(r.with_long_strings()); }},
    Route{"pick_folder", [](HostState& s, Request&) { return desktop::handle_pick_folder(s.parent_window, s.settings); }},
    Route{"pick_application",
          [](HostState& s, Request&) { return desktop::handle_pick_application(s.parent_window, s.settings); }},
    Route{"open_save_folder", [](HostState& s, Request&) { return desktop::handle_open_save_folder(s.settings); }},
    Route{"diagnose", diagnose},
    Route{"reveal", [](HostState& s, Request& r) { return desktop::handle_reveal(r.with_long_strings(), s.settings); }},
};

Handler find_handler(std::string_view type) {
  const auto it = std::find_if(ROUTES.begin(), ROUTES.end(), [&](const Route& r) { return r.type == type; });
  return it == ROUTES.end() ? nullptr : it->handler;
}

}  // namespace

std::string_view known_request_type(const json& request) {
  const std::string* type = messages::string_member(request, "type");
  if (type == nullptr) return {};
  const auto it = std::find_if(ROUTES.begin(), ROUTES.end(), [&](const Route& r) { return r.type == *type; });
  return it == ROUTES.end() ? std::string_view() : it->type;
}

json hello_result() {
  json result = json::object();
  result["host_version"] = std::string(messages::HOST_VERSION);
  result["platform"] = std::string(platform::PLATFORM_NAME);
  result["protocol"] = messages::PROTOCOL_VERSION;
  return result;
}

messages::Reply dispatch(HostState& state, Request& full_request) {
  const json& request = full_request.value;
  if (!request.is_object()) return {nullptr, std::unexpected(HostError::invalid_request())};
  const auto id_it = request.find("id");
  json id = id_it == request.end() ? json(nullptr) : *id_it;
  const std::string* type_member = messages::string_member(request, "type");
  const std::string_view type = type_member ? std::string_view(*type_member) : std::string_view();

  const Handler handler = find_handler(type);
  if (handler == nullptr)
    return {std::move(id), std::unexpected(HostError::of(messages::error_code::UNKNOWN_REQUEST))};
  if (handler == hello) {
    // The result of "hello" never changes: it is written once, so that a reply to it
    // costs no more than its envelope.
    static const std::string written = messages::write_compact(hello_result());
    return {std::move(id), json(), written};
  }
  HandlerResult outcome = [&]() -> HandlerResult {
    try {
      return handler(state, full_request);
    } catch (const std::exception&) {
      // Handlers report failures as values; an exception here is a fault (memory, or a
      // library throwing unexpectedly) and must not end the host.
      return std::unexpected(HostError::io_error("internal error"));
    }
  }();
  return {std::move(id), std::move(outcome)};
}

}  // namespace tessiva::app
