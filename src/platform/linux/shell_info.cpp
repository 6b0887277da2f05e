// The stand-in has no shell: no icons, no version resources, no registered handlers
// and no dialogs.

#include "platform/handler_list.h"
#include "platform/icons.h"
#include "platform/version_info.h"

namespace tessiva::platform {

std::optional<std::vector<std::byte>> extract_icon_png(const std::string&, int) { return std::nullopt; }

std::optional<std::string> file_description(const std::string&) { return std::nullopt; }

std::vector<HandlerInfo> handler_infos(std::string_view, bool) { return {}; }

}  // namespace tessiva::platform
