// The stand-in has no shell: no icons, no version resources, no registered handlers
// and no dialogs.

#include "platform/handler_list.h"
#include "platform/icons.h"
#include "platform/pickers.h"
#include "platform/version_info.h"

namespace tessiva::platform {

std::optional<std::vector<std::byte>> extract_icon_png(const std::string&, int) { return std::nullopt; }

std::optional<std::string> file_description(const std::string&) { return std::nullopt; }

std::vector<HandlerInfo> handler_infos(std::string_view, bool) { return {}; }

std::optional<std::string> pick_folder(std::optional<std::int64_t>, std::string_view) { return std::nullopt; }

std::optional<std::string> pick_file(std::optional<std::int64_t>, std::string_view, std::string_view,
                                     std::string_view) {
  return std::nullopt;
}

}  // namespace tessiva::platform
