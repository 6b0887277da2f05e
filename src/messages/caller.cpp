#include "messages/caller.h"

#include "messages/protocol.h"

namespace tessiva::messages {

std::optional<CallerSign> caller_sign(std::string_view argument) noexcept {
  if (argument.starts_with("chrome-extension://")) return CallerSign::Origin;
  if (argument.ends_with(".json")) return CallerSign::Manifest;
  if (argument == FIREFOX_EXTENSION_ID) return CallerSign::ExtensionId;
  return std::nullopt;
}

}  // namespace tessiva::messages
