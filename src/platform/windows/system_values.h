#pragma once
/// The Windows numbers behind the seam's typed options: creation flags for
/// `CreationOptions`, MessageBoxW styles for `MessageBoxKind`, and the answers MessageBoxW
/// returns. Only the Windows implementation speaks in these numbers.

#include "platform/process_options.h"
#include "platform/windows/message_box.h"
#include "platform/windows/windows.h"

namespace tessiva::platform {

/// The dwCreationFlags of CreateProcessW for `options`.
[[nodiscard]] DWORD creation_flags(CreationOptions options) noexcept;

/// The uType of MessageBoxW for `kind`: its buttons and icon, and MB_SETFOREGROUND.
[[nodiscard]] UINT message_box_style(MessageBoxKind kind) noexcept;

/// The answer for what MessageBoxW returned (0 when it showed nothing).
[[nodiscard]] MessageBoxAnswer message_box_answer(int result) noexcept;

}  // namespace tessiva::platform
