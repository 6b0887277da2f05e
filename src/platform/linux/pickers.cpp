// The folder and application dialogs.

#include "platform/pickers.h"

namespace tessiva::platform {

std::optional<std::string> pick_folder(std::optional<std::int64_t>, std::string_view) { return std::nullopt; }

std::optional<std::string> pick_file(std::optional<std::int64_t>, std::string_view, std::string_view,
                                     std::string_view) {
  return std::nullopt;
}

}  // namespace tessiva::platform
