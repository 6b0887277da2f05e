#pragma once
/// The icons the program sends: square PNG images of one size on every system.

namespace tessiva::platform {

/// The side, in pixels, of the square icons the program sends, on every system.
inline constexpr int ICON_SIDE = 32;

}  // namespace tessiva::platform
