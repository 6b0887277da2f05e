#pragma once
/// A self-contained PNG writer for icons, and the pixel conversion from the layout the
/// system delivers icon bitmaps in.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tessiva::codec {

/// Turns B, G, R, A pixels into R, G, B, A in place. A bitmap whose alpha bytes are all
/// 0 has no alpha channel, so its pixels become fully opaque (alpha 255); otherwise every
/// alpha byte is kept as it is, zeros included. Colours are not un-premultiplied.
/// `pixels` holds 4 bytes per pixel; a trailing partial pixel is left untouched.
void bgra_to_rgba(std::span<std::byte> pixels) noexcept;

/// A complete PNG file (8-bit truecolour with alpha, not interlaced) of `width` x
/// `height` pixels given as R, G, B, A bytes, rows from top to bottom with no padding.
/// The image data is not compressed: the zlib stream holds stored deflate blocks of at
/// most 65535 bytes each, so the file is about 4 bytes per pixel. None when a side is 0,
/// when `rgba` does not hold exactly width x height x 4 bytes, or when the image is too
/// large for one PNG data chunk.
[[nodiscard]] std::optional<std::vector<std::byte>> encode_rgba_png(
    std::uint32_t width, std::uint32_t height, std::span<const std::byte> rgba);

}  // namespace tessiva::codec
