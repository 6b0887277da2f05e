#pragma once
/// Request dispatch: the request table and the reply envelope around each outcome.

#include <nlohmann/json.hpp>

#include "main/host_state.h"
#include "messages/host_error.h"
#include "messages/request.h"

namespace tessiva::app {

/// The result of "hello".
[[nodiscard]] nlohmann::json hello_result();

/// Picks the handler by the request's "type", calls it, and wraps its outcome in the
/// reply envelope with the request's "id". Never fails: every outcome is a reply.
[[nodiscard]] nlohmann::json dispatch(HostState& state, messages::Request& request);

}  // namespace tessiva::app
