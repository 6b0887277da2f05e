#pragma once
/// Who started the host: the browser family, as its command line tells it.

#include <optional>
#include <string_view>

namespace tessiva::messages {

/// The two kinds of browser: each reads its own form of the manifest and names the
/// extension that connects in its own way.
enum class BrowserFamily { Chromium, Firefox };

/// What one argument of the host's command line says of the browser that started it.
enum class CallerSign {
  /// "chrome-extension://<id>/": the origin a Chromium-family browser passes.
  Origin,
  /// A path ending in ".json": the manifest Firefox passes (a path; never logged).
  Manifest,
  /// The extension id Firefox passes.
  ExtensionId,
};

/// The sign `argument` gives; none for an argument that names no caller.
[[nodiscard]] std::optional<CallerSign> caller_sign(std::string_view argument) noexcept;

[[nodiscard]] constexpr BrowserFamily family_of(CallerSign sign) noexcept {
  return sign == CallerSign::Origin ? BrowserFamily::Chromium : BrowserFamily::Firefox;
}

/// "chromium" or "firefox", as the self-check's report and the log write it.
[[nodiscard]] constexpr std::string_view family_name(BrowserFamily family) noexcept {
  return family == BrowserFamily::Chromium ? "chromium" : "firefox";
}

}  // namespace tessiva::messages
