#pragma once
/// Fixed names and versions of the protocol and the product (the product's name and
/// version come from the build: messages/version.h).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "messages/extension_ids.h"
#include "messages/version.h"

namespace tessiva::messages {

inline constexpr int PROTOCOL_VERSION = 1;
inline constexpr std::string_view NATIVE_HOST_NAME = "com.orbelle.tessiva";
inline constexpr std::string_view FIREFOX_EXTENSION_ID = "tessiva@orbelle.software";
/// Added by the self-check after a browser's arguments when it starts a host to ask for
/// its version, so that the host's log tells that start from a browser's.
inline constexpr std::string_view SELF_CHECK_ARGUMENT = "--self-check-probe";
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
