#pragma once
/// How a process is started in the background: options that portable code combines and
/// only the Windows implementation turns into the system's creation flags.

#include <cstdint>

namespace tessiva::platform {

/// A set of creation options; combine them with `|`.
enum class CreationOptions : std::uint8_t {
  None = 0,
  /// The new process gets no console, not even the caller's.
  NoConsole = 1u << 0,
  /// The new process heads a process group of its own, so that a console's Ctrl+C
  /// meant for the caller never reaches it.
  NewProcessGroup = 1u << 1,
  /// A console program runs without a console window.
  NoWindow = 1u << 2,
  /// The new process leaves any job object of the caller (where the job allows it), so
  /// that it outlives a browser that ends the job with the host.
  BreakAwayFromJob = 1u << 3,
};

[[nodiscard]] constexpr CreationOptions operator|(CreationOptions a, CreationOptions b) noexcept {
  return static_cast<CreationOptions>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}

/// True when `options` holds every option of `wanted`.
[[nodiscard]] constexpr bool has(CreationOptions options, CreationOptions wanted) noexcept {
  return (static_cast<std::uint8_t>(options) & static_cast<std::uint8_t>(wanted)) ==
         static_cast<std::uint8_t>(wanted);
}

}  // namespace tessiva::platform
