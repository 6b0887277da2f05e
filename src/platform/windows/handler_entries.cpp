#include "platform/windows/handler_entries.h"

#include <shlwapi.h>

#include <array>

#include "platform/files.h"
#include "platform/windows/dynamic_library.h"
#include "platform/windows/icons.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"

namespace tessiva::platform {
namespace {

constexpr std::size_t INDIRECT_STRING_UNITS = 1024;

/// A text that a handler hands out through `get` (GetName, GetUIName), as UTF-8; none
/// when the call fails, and the empty text for a null text or one that is not valid
/// UTF-16. The text is freed in every case.
template <class Get>
std::optional<std::string> handler_text(Get get) {
  UniqueCoTaskMemString text;
  if (FAILED(get(text.put()))) return std::nullopt;
  if (!text) return std::string();
  return narrow_strict(text.get()).value_or(std::string());
}

}  // namespace

std::optional<std::wstring> load_indirect_string(const std::wstring& location) {
  static LazyFunction<decltype(::SHLoadIndirectString)> load_string{shlwapi, "SHLoadIndirectString"};
  auto* load = load_string.get();
  if (!load) return std::nullopt;
  std::array<wchar_t, INDIRECT_STRING_UNITS> buffer{};
  if (FAILED(load(location.c_str(), buffer.data(), static_cast<UINT>(buffer.size()), nullptr))) return std::nullopt;
  const std::wstring_view text(buffer.data(), buffer.size());
  return std::wstring(text.substr(0, text.find(L'\0')));
}

std::optional<std::vector<std::byte>> png_file(const std::string& path) {
  // The size is looked at before reading, so that a huge file is never read whole.
  const auto attributes = file_attributes(path);
  if (!attributes || !attributes->is_regular || attributes->size >= MAX_ICON_FILE_SIZE) return std::nullopt;
  const auto contents = read_file(path);
  if (!contents || contents->size() < 4 || contents->size() >= MAX_ICON_FILE_SIZE) return std::nullopt;
  if (!contents->starts_with("\x89PNG")) return std::nullopt;
  const auto* bytes = reinterpret_cast<const std::byte*>(contents->data());
  return std::vector<std::byte>(bytes, bytes + contents->size());
}

std::optional<std::vector<std::byte>> handler_icon_png(IAssocHandler* handler, const IndirectStringLoader& load) {
  UniqueCoTaskMemString location;
  int index = 0;
  if (FAILED(handler->GetIconLocation(location.put(), &index))) return std::nullopt;
  const std::optional<std::string> path = location ? narrow_strict(location.get()) : std::nullopt;
  if (!path || path->empty()) return extract_icon_png(std::string(), index);
  if (path->front() != '@') return extract_icon_png(*path, index);

  // An indirect string names an image file; only a PNG file is taken, nothing is
  // extracted from it.
  const auto resolved = load(std::wstring(location.get()));
  if (!resolved) return std::nullopt;
  return png_file(narrow(*resolved));
}

std::optional<HandlerInfo> handler_info(IAssocHandler* handler, bool icons, const IndirectStringLoader& load) {
  auto id = handler_text([&](LPWSTR* out) { return handler->GetName(out); });
  if (!id || id->empty()) return std::nullopt;
  auto name = handler_text([&](LPWSTR* out) { return handler->GetUIName(out); });
  if (!name || name->empty()) return std::nullopt;
  HandlerInfo info;
  info.id = std::move(*id);
  info.name = std::move(*name);
  info.recommended = handler->IsRecommended() == S_OK;
  if (icons) info.icon_png = handler_icon_png(handler, load);
  return info;
}

std::vector<HandlerInfo> handler_infos(AssocHandlers handlers, bool icons, const IndirectStringLoader& load) {
  std::vector<HandlerInfo> infos;
  for (auto& handler : handlers) {
    if (auto info = handler_info(handler.Get(), icons, load)) infos.push_back(std::move(*info));
    handler.Reset();
  }
  return infos;
}

std::vector<HandlerInfo> handler_infos(std::string_view ext, bool icons) {
  return handler_infos(enumerate_handlers(ext), icons, load_indirect_string);
}

}  // namespace tessiva::platform
