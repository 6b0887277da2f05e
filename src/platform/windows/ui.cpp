#include "platform/ui.h"

#include "platform/windows/dynamic_library.h"
#include "platform/windows/system_values.h"
#include "platform/windows/win_error.h"
#include "platform/windows/windows.h"

namespace tessiva::platform {

std::uint16_t user_default_ui_language() { return ::GetUserDefaultUILanguage(); }

MessageBoxAnswer message_box(std::string_view text, std::string_view caption, MessageBoxKind kind) {
  static LazyFunction<decltype(::MessageBoxW)> message_box_w{user32, "MessageBoxW"};
  auto* show = message_box_w.get();
  // 0 is how MessageBoxW itself reports a failure.
  const int result = show ? show(nullptr, widen(text).c_str(), widen(caption).c_str(), message_box_style(kind)) : 0;
  return message_box_answer(result);
}

}  // namespace tessiva::platform
