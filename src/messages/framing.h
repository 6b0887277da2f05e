#pragma once
/// The framing of messages in both directions: a 4-byte little-endian length, then that
/// many bytes of JSON. The channel and the self-check's probe both frame with these.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessiva::messages {

/// The bytes of the length before each body.
inline constexpr std::size_t FRAME_PREFIX_BYTES = 4;

/// The body length that `prefix` holds.
[[nodiscard]] constexpr std::uint32_t frame_length(std::span<const std::byte, FRAME_PREFIX_BYTES> prefix) noexcept {
  return std::to_integer<std::uint32_t>(prefix[0]) | std::to_integer<std::uint32_t>(prefix[1]) << 8 |
         std::to_integer<std::uint32_t>(prefix[2]) << 16 | std::to_integer<std::uint32_t>(prefix[3]) << 24;
}

/// Writes the prefix for a body of `size` bytes (at most 2^32 - 1) at `prefix`.
constexpr void write_frame_length(char* prefix, std::size_t size) noexcept {
  for (std::size_t i = 0; i < FRAME_PREFIX_BYTES; ++i) prefix[i] = static_cast<char>((size >> (8 * i)) & 0xFF);
}

/// `body` as one frame.
[[nodiscard]] inline std::string framed(std::string_view body) {
  std::string frame(FRAME_PREFIX_BYTES, '\0');
  write_frame_length(frame.data(), body.size());
  frame += body;
  return frame;
}

/// The body of the frame at the start of `bytes`; none when `bytes` holds less than a
/// whole frame.
[[nodiscard]] inline std::optional<std::string_view> first_frame_body(std::string_view bytes) noexcept {
  if (bytes.size() < FRAME_PREFIX_BYTES) return std::nullopt;
  const std::uint32_t length =
      frame_length(std::as_bytes(std::span<const char, FRAME_PREFIX_BYTES>(bytes.data(), FRAME_PREFIX_BYTES)));
  if (bytes.size() - FRAME_PREFIX_BYTES < length) return std::nullopt;
  return bytes.substr(FRAME_PREFIX_BYTES, length);
}

}  // namespace tessiva::messages
