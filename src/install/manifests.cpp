#include "install/manifests.h"

#include <vector>

#include <nlohmann/json.hpp>

#include "messages/protocol.h"
#include "messages/reply.h"
#include "messages/version.h"

namespace tessiva::install {
namespace {

/// The members of a manifest, after the list of extensions that may connect (the
/// name of that list differs between the browser families). They are written in this
/// order, which is also ascending key order.
nlohmann::ordered_json manifest(std::string_view allowed_key, const std::vector<std::string>& allowed,
                                std::string_view executable_path) {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  out[std::string(allowed_key)] = allowed;
  out["description"] = messages::PRODUCT_NAME;
  out["name"] = messages::NATIVE_HOST_NAME;
  out["path"] = executable_path;
  out["type"] = "stdio";
  return out;
}

}  // namespace

std::string chromium_manifest(std::string_view executable_path) {
  // A Chromium-family browser lets only the extensions listed here connect.
  return messages::write_indented(manifest("allowed_origins", messages::chromium_allowed_origins(), executable_path));
}

std::string firefox_manifest(std::string_view executable_path) {
  return messages::write_indented(
      manifest("allowed_extensions", {std::string(messages::FIREFOX_EXTENSION_ID)}, executable_path));
}

std::string manifest_text(BrowserFamily family, std::string_view executable_path) {
  return family == BrowserFamily::Chromium ? chromium_manifest(executable_path) : firefox_manifest(executable_path);
}

}  // namespace tessiva::install
