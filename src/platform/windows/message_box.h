#pragma once
/// Message boxes, which the Windows installer, uninstaller and self-check show when
/// the program was started without a console. (The Windows installer's environment
/// names these types, so that its flows run natively against a fake.)

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

/// Shows a message box without an owner window and returns the answer, `NotShown` when
/// the box cannot be shown.
MessageBoxAnswer message_box(std::string_view text, std::string_view caption, MessageBoxKind kind);

}  // namespace tessiva::platform
