#pragma once
/// Fixed names and versions of the protocol and the product.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "messages/extension_ids.h"

namespace tessiva::messages {

inline constexpr int PROTOCOL_VERSION = 1;
inline constexpr std::string_view HOST_VERSION = "0.1.0";
inline constexpr std::string_view PRODUCT_NAME = "Tessiva";
inline constexpr std::string_view NATIVE_HOST_NAME = "com.orbelle.tessiva";
inline constexpr std::string_view FIREFOX_EXTENSION_ID = "tessiva@orbelle.software";
// CHROMIUM_EXTENSION_IDS (generated from the build's configuration) lists the
// Chromium-family extensions that may connect.

/// The origins of the admitted Chromium-family extensions, as the manifest's
/// "allowed_origins" names them: "chrome-extension://<id>/".
[[nodiscard]] inline std::vector<std::string> chromium_allowed_origins() {
  std::vector<std::string> origins;
  for (const std::string_view id : CHROMIUM_EXTENSION_IDS) {
    origins.push_back("chrome-extension://" + std::string(id) + "/");
  }
  return origins;
}

/// The largest request body read, and the largest reply body written.
inline constexpr std::size_t MAX_MESSAGE_SIZE = 16 * 1024 * 1024;
inline constexpr std::size_t MAX_REPLY_SIZE = 1024 * 1024;

}  // namespace tessiva::messages
