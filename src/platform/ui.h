#pragma once
/// The user interface: message boxes and the language of the user's desktop.

#include <cstdint>
#include <string_view>

namespace tessiva::platform {

/// Message box styles (the values of the MessageBoxW flags they combine), so that
/// portable code can ask for them.
inline constexpr std::uint32_t MESSAGE_BOX_QUESTION = 0x10024;     ///< Yes/No, question icon, foreground
inline constexpr std::uint32_t MESSAGE_BOX_ERROR = 0x10010;        ///< OK, error icon, foreground
inline constexpr std::uint32_t MESSAGE_BOX_INFORMATION = 0x10040;  ///< OK, information icon, foreground

/// Answers of `message_box` (IDOK, IDCANCEL, IDYES, IDNO).
inline constexpr int ANSWER_OK = 1;
inline constexpr int ANSWER_CANCEL = 2;
inline constexpr int ANSWER_YES = 6;
inline constexpr int ANSWER_NO = 7;

/// The language id (LANGID) of the user's interface language
/// (`GetUserDefaultUILanguage`). The stand-in derives it from LC_ALL, LC_MESSAGES or
/// LANG: Spanish (Spain) for "es...", Portuguese (Brazil) for "pt...", else English
/// (United States).
[[nodiscard]] std::uint16_t user_default_ui_language();

/// Shows a message box without an owner window and returns the answer (an ANSWER_*
/// value), or 0 when the box cannot be shown. The stand-in shows nothing and returns
/// ANSWER_CANCEL.
int message_box(std::string_view text, std::string_view caption, std::uint32_t flags);

}  // namespace tessiva::platform
