#pragma once
/// The entries that "list_handlers" makes of the handlers registered for a file type.
/// The functions work on any implementation of `IAssocHandler`, and the resolution of
/// indirect strings is passed in, so tests hand them fakes.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/handler_list.h"
#include "platform/windows/assoc_handlers.h"

namespace tessiva::platform {

/// Resolves an indirect resource string ("@..."); none when it cannot be resolved.
using IndirectStringLoader = std::function<std::optional<std::wstring>(const std::wstring& location)>;

/// `SHLoadIndirectString` into a zeroed buffer of 1024 units; the text up to its first
/// NUL.
[[nodiscard]] std::optional<std::wstring> load_indirect_string(const std::wstring& location);

/// Files that an indirect icon location names are taken as PNG only below this size.
inline constexpr std::uint64_t MAX_ICON_FILE_SIZE = 200000;

/// The bytes of the file `path` when it is a PNG image of at least 4 and less than
/// `MAX_ICON_FILE_SIZE` bytes that begins with the PNG signature's first four bytes;
/// none otherwise.
[[nodiscard]] std::optional<std::vector<std::byte>> png_file(const std::string& path);

/// The handler's icon: an indirect location ("@...") is resolved with `load` to the path
/// of a PNG file (see `png_file`); any other location is the file to extract the icon
/// at the given index from. None when there is no icon.
[[nodiscard]] std::optional<std::vector<std::byte>> handler_icon_png(IAssocHandler* handler,
                                                                     const IndirectStringLoader& load);

/// The entry of one handler; none when its name or display name cannot be read, is
/// empty or is not valid UTF-16. The icon only with `icons`.
[[nodiscard]] std::optional<HandlerInfo> handler_info(IAssocHandler* handler, bool icons,
                                                      const IndirectStringLoader& load);

/// The entries of `handlers` in their order. Each handler is released as soon as its
/// entry is made (or it is left out).
[[nodiscard]] std::vector<HandlerInfo> handler_infos(AssocHandlers handlers, bool icons,
                                                     const IndirectStringLoader& load);

}  // namespace tessiva::platform
