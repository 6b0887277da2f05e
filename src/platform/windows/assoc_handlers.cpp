#include "platform/windows/assoc_handlers.h"

#include <shlguid.h>

#include "platform/windows/com.h"
#include "platform/windows/dynamic_library.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"

namespace tessiva::platform {

using Microsoft::WRL::ComPtr;

AssocHandlers collect_handlers(IEnumAssocHandlers* enumerator) {
  AssocHandlers handlers;
  if (!enumerator) return handlers;
  for (std::size_t calls = 0; calls < MAX_ENUMERATION_CALLS && handlers.size() < MAX_HANDLERS; ++calls) {
    ComPtr<IAssocHandler> handler;
    ULONG fetched = 0;
    // S_FALSE with nothing fetched is the usual end.
    if (FAILED(enumerator->Next(1, handler.GetAddressOf(), &fetched)) || fetched == 0) break;
    if (handler) handlers.push_back(std::move(handler));
  }
  return handlers;
}

AssocHandlers enumerate_handlers(std::string_view ext) {
  const auto wide_ext = widen_strict(ext);
  if (!wide_ext) return {};
  enter_com_apartment();
  static LazyFunction<decltype(::SHAssocEnumHandlers)> enum_handlers{shell32, "SHAssocEnumHandlers"};
  auto* enumerate = enum_handlers.get();
  if (!enumerate) return {};
  const std::wstring dotted = L"." + *wide_ext;
  ComPtr<IEnumAssocHandlers> enumerator;
  if (FAILED(enumerate(dotted.c_str(), ASSOC_FILTER_NONE, enumerator.GetAddressOf()))) return {};
  return collect_handlers(enumerator.Get());
}

std::optional<std::string> handler_id(IAssocHandler* handler) {
  UniqueCoTaskMemString name;
  // The text is freed even when the call fails.
  if (FAILED(handler->GetName(name.put())) || !name) return std::nullopt;
  return narrow_strict(name.get()).value_or(std::string());
}

ComPtr<IAssocHandler> find_handler(const AssocHandlers& handlers, std::string_view id) {
  for (const auto& handler : handlers) {
    const auto name = handler_id(handler.Get());
    if (name && *name == id) return handler;
  }
  return nullptr;
}

ComPtr<IAssocHandler> find_handler(IEnumAssocHandlers* enumerator, std::string_view id) {
  return find_handler(collect_handlers(enumerator), id);
}

Result<void> invoke_on_item(IAssocHandler* handler, IShellItem* item) {
  ComPtr<IDataObject> data;
  if (const HRESULT hr = item->BindToHandler(nullptr, BHID_DataObject, IID_PPV_ARGS(data.GetAddressOf()));
      FAILED(hr) || !data)
    return std::unexpected(os_error(FAILED(hr) ? static_cast<DWORD>(hr) : static_cast<DWORD>(E_FAIL)));
  if (const HRESULT hr = handler->Invoke(data.Get()); FAILED(hr)) return std::unexpected(os_error(static_cast<DWORD>(hr)));
  return {};
}

}  // namespace tessiva::platform
