#pragma once
/// The user interface: message boxes and the language of the user's desktop.

#include <cstdint>
#include <string_view>

namespace tessiva::platform {

/// What a message box asks or tells; every kind comes to the foreground.
enum class MessageBoxKind {
  Question,     ///< Yes and No buttons, question icon
  QuestionNo,   ///< the same with No as the default button
  Error,        ///< an OK button, error icon
  Information,  ///< an OK button, information icon
};

/// The answer of `message_box`.
enum class MessageBoxAnswer { NotShown, Ok, Cancel, Yes, No };

/// The language id (LANGID) of the user's interface language
/// (`GetUserDefaultUILanguage`). On Linux the first that is set of LANGUAGE (its first
/// entry), LC_ALL, LC_MESSAGES and LANG decides: Spanish (Spain) for "es...", Portuguese
/// (Brazil) for "pt...", else English (United States).
[[nodiscard]] std::uint16_t user_default_ui_language();

/// Shows a message box without an owner window and returns the answer, `NotShown` when
/// the box cannot be shown. Linux has no message boxes: it answers `Cancel`.
MessageBoxAnswer message_box(std::string_view text, std::string_view caption, MessageBoxKind kind);

}  // namespace tessiva::platform
