#include "platform/ui.h"

#include "platform/windows/dynamic_library.h"
#include "platform/windows/win_error.h"
#include "platform/windows/windows.h"

namespace tessiva::platform {

std::uint16_t user_default_ui_language() { return ::GetUserDefaultUILanguage(); }

int message_box(std::string_view text, std::string_view caption, std::uint32_t flags) {
  static LazyFunction<decltype(::MessageBoxW)> message_box_w{user32, "MessageBoxW"};
  auto* show = message_box_w.get();
  // 0 is how MessageBoxW itself reports a failure.
  return show ? show(nullptr, widen(text).c_str(), widen(caption).c_str(), flags) : 0;
}

}  // namespace tessiva::platform
