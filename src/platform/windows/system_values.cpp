#include "platform/windows/system_values.h"

namespace tessiva::platform {

DWORD creation_flags(CreationOptions options) noexcept {
  DWORD flags = 0;
  if (has(options, CreationOptions::NoConsole)) flags |= DETACHED_PROCESS;
  if (has(options, CreationOptions::NewProcessGroup)) flags |= CREATE_NEW_PROCESS_GROUP;
  if (has(options, CreationOptions::NoWindow)) flags |= CREATE_NO_WINDOW;
  if (has(options, CreationOptions::BreakAwayFromJob)) flags |= CREATE_BREAKAWAY_FROM_JOB;
  return flags;
}

UINT message_box_style(MessageBoxKind kind) noexcept {
  switch (kind) {
    case MessageBoxKind::Question:
      return MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND;
    case MessageBoxKind::QuestionNo:
      return MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND;
    case MessageBoxKind::Error:
      return MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
    case MessageBoxKind::Information:
      break;
  }
  return MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND;
}

MessageBoxAnswer message_box_answer(int result) noexcept {
  switch (result) {
    case 0:
      return MessageBoxAnswer::NotShown;
    case IDOK:
      return MessageBoxAnswer::Ok;
    case IDYES:
      return MessageBoxAnswer::Yes;
    case IDNO:
      return MessageBoxAnswer::No;
    default:
      // IDCANCEL, and any other button the styles above never show.
      return MessageBoxAnswer::Cancel;
  }
}

}  // namespace tessiva::platform
