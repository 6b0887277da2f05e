#pragma once
/// "list_handlers": the handlers that the system has registered for a file type, with
/// their display names, the recommended flag and, on demand, their icons.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "messages/host_error.h"
#include "platform/handler_list.h"
#include "text/file_type.h"

namespace tessiva::desktop {

/// The longest extension a request may name, in bytes.
inline constexpr std::size_t MAX_EXT_BYTES = text::MAX_FILE_TYPE_BYTES;

/// The request's "ext" with A-Z lowered; none unless it is a string of 1 to
/// `MAX_EXT_BYTES` bytes made only of a-z, 0-9, "_" and "-" after lowering.
[[nodiscard]] std::optional<std::string> normalized_ext(const nlohmann::json& request);

/// {"handlers": [...]} for `infos` in their order, written in at most `max_bytes`
/// bytes of compact JSON. When the icons would not fit, "icon_png" becomes null for
/// entries from the end of the list until the text fits; should even that not do,
/// entries are left out from the end.
[[nodiscard]] nlohmann::json handlers_result(const std::vector<platform::HandlerInfo>& infos, std::size_t max_bytes);

/// The room that a result has in the reply to `request`: the reply limit less the
/// envelope around the result (which repeats the request's "id").
[[nodiscard]] std::size_t result_budget(const nlohmann::json& request);

/// How the handlers of a lower-case extension are listed (`platform::handler_infos`);
/// tests pass fakes.
using ListHandlerInfos = std::function<std::vector<platform::HandlerInfo>(std::string_view ext, bool icons)>;

/// "list_handlers" with the listing passed in.
[[nodiscard]] messages::HandlerResult list_handlers_with(const nlohmann::json& request, const ListHandlerInfos& list);

/// "list_handlers".
[[nodiscard]] messages::HandlerResult handle_list_handlers(const nlohmann::json& request);

}  // namespace tessiva::desktop
