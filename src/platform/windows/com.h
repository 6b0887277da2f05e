#pragma once
/// Entering COM on the calling thread.

namespace tessiva::platform {

/// Enters a single-threaded COM apartment on the calling thread (`CoInitializeEx` with
/// COINIT_APARTMENTTHREADED, ole32 loaded on first use). The result is ignored and the
/// apartment is never left: a repeated call on the same thread is harmless.
void enter_com_apartment() noexcept;

}  // namespace tessiva::platform
