#include "platform/locale.h"
#include "platform/windows/language_id.h"
#include "platform/windows/message_box.h"

#include "platform/windows/dynamic_library.h"
#include "platform/windows/system_values.h"
#include "platform/windows/win_error.h"
#include "platform/windows/windows.h"

namespace tessiva::platform {

std::string locale_of_language_id(std::uint16_t language_id) {
  // A language id without a language (LANG_NEUTRAL) would stand for the user's default.
  if (PRIMARYLANGID(language_id) == LANG_NEUTRAL) return {};
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  const LANGID primary_only = MAKELANGID(PRIMARYLANGID(language_id), SUBLANG_NEUTRAL);
  for (const LANGID id : {LANGID{language_id}, primary_only}) {
    if (::LCIDToLocaleName(MAKELCID(id, SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0) > 0) return narrow(name);
  }
  return {};
}

std::string user_interface_locale() { return locale_of_language_id(::GetUserDefaultUILanguage()); }

MessageBoxAnswer message_box(std::string_view text, std::string_view caption, MessageBoxKind kind) {
  static LazyFunction<decltype(::MessageBoxW)> message_box_w{user32, "MessageBoxW"};
  auto* show = message_box_w.get();
  // 0 is how MessageBoxW itself reports a failure.
  const int result = show ? show(nullptr, widen(text).c_str(), widen(caption).c_str(), message_box_style(kind)) : 0;
  return message_box_answer(result);
}

}  // namespace tessiva::platform
