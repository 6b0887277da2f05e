#pragma once
/// The native messaging manifests both installers write: pretty JSON with two-space
/// indentation, keys in byte order, no final line break.

#include <string>
#include <string_view>

#include "install/browsers.h"

namespace tessiva::install {

/// The manifest a Chromium-family browser reads: the origins of the admitted extensions.
[[nodiscard]] std::string chromium_manifest(std::string_view executable_path);
/// The manifest Firefox reads: the admitted extension's id.
[[nodiscard]] std::string firefox_manifest(std::string_view executable_path);
/// The manifest of `family`.
[[nodiscard]] std::string manifest_text(BrowserFamily family, std::string_view executable_path);

}  // namespace tessiva::install
