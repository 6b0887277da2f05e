#include "platform/ui.h"

#include "platform/windows/win_error.h"
#include "platform/windows/windows.h"

namespace tessiva::platform {

std::uint16_t user_default_ui_language() { return ::GetUserDefaultUILanguage(); }

int message_box(std::string_view text, std::string_view caption, std::uint32_t flags) {
  return ::MessageBoxW(nullptr, widen(text).c_str(), widen(caption).c_str(), flags);
}

}  // namespace tessiva::platform
