#pragma once
/// The handlers that the shell has registered for a file type (the Open with list), and
/// finding one of them again by its identifier: the text of `IAssocHandler::GetName`
/// as UTF-8. The functions that take an enumerator or a handler work on any
/// implementation of the interfaces, so tests hand them fakes.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handler_list.h"
#include "platform/os_error.h"
#include "platform/windows/windows.h"

#include <shobjidl.h>
#include <wrl/client.h>

namespace tessiva::platform {

/// A bound on the calls of `IEnumAssocHandlers::Next` in one enumeration, so that an
/// enumerator that keeps handing out null handlers cannot hold the caller forever.
inline constexpr std::size_t MAX_ENUMERATION_CALLS = 10 * MAX_HANDLERS;

using AssocHandlers = std::vector<Microsoft::WRL::ComPtr<IAssocHandler>>;

/// The handlers that `enumerator` delivers, one `Next` call at a time, in its order:
/// stops when a call fails or fetches nothing, skips null handlers, and stops once
/// `MAX_HANDLERS` are held.
[[nodiscard]] AssocHandlers collect_handlers(IEnumAssocHandlers* enumerator);

/// Every handler registered for "." + `ext` (`SHAssocEnumHandlers` with
/// ASSOC_FILTER_NONE), after entering a single-threaded apartment. Empty when the
/// enumeration fails or `ext` is not valid UTF-8.
[[nodiscard]] AssocHandlers enumerate_handlers(std::string_view ext);

/// The handler's identifier: its `GetName` text as UTF-8. None when the call fails or
/// gives no text; the empty text when the name is not valid UTF-16.
[[nodiscard]] std::optional<std::string> handler_id(IAssocHandler* handler);

/// The first of `handlers` whose identifier equals `id` byte for byte (handlers whose
/// name cannot be read are passed over), or null.
[[nodiscard]] Microsoft::WRL::ComPtr<IAssocHandler> find_handler(const AssocHandlers& handlers, std::string_view id);

/// `find_handler` over everything `enumerator` delivers (see `collect_handlers`).
[[nodiscard]] Microsoft::WRL::ComPtr<IAssocHandler> find_handler(IEnumAssocHandlers* enumerator,
                                                                 std::string_view id);

/// Binds `item` to its data object (BHID_DataObject) and hands that to the handler's
/// `Invoke`.
[[nodiscard]] Result<void> invoke_on_item(IAssocHandler* handler, IShellItem* item);

}  // namespace tessiva::platform
