#pragma once
/// Request dispatch: the request table and the reply envelope around each outcome.

#include <nlohmann/json.hpp>

#include "main/host_state.h"
#include "messages/host_error.h"
#include "messages/reply.h"
#include "messages/request.h"

namespace tessiva::app {

/// The result of "hello".
[[nodiscard]] nlohmann::json hello_result();

/// The type of `request` as the request table spells it; empty when the request has
/// no type or one the table does not know.
[[nodiscard]] std::string_view known_request_type(const nlohmann::json& request);

/// Picks the handler by the request's "type", calls it, and pairs its outcome with the
/// request's "id". Never fails: every outcome is a reply.
[[nodiscard]] messages::Reply dispatch(HostState& state, messages::Request& request);

}  // namespace tessiva::app
