#pragma once
/// What a request handler returns on failure, and every error code of the protocol.

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tessiva::messages {

namespace error_code {
inline constexpr std::string_view INVALID_REQUEST = "invalid_request";
inline constexpr std::string_view UNKNOWN_REQUEST = "unknown_request";
inline constexpr std::string_view IO_ERROR = "io_error";
inline constexpr std::string_view INVALID_CONFIG = "invalid_config";
inline constexpr std::string_view NOT_FOUND = "not_found";
inline constexpr std::string_view BUSY = "busy";
inline constexpr std::string_view FILE_TOO_LARGE = "file_too_large";
inline constexpr std::string_view INCOMPLETE_TRANSFER = "incomplete_transfer";
inline constexpr std::string_view SOURCE_TOO_OLD = "source_too_old";
inline constexpr std::string_view APP_NOT_FOUND = "app_not_found";
inline constexpr std::string_view NO_DEFAULT = "no_default";
inline constexpr std::string_view LAUNCH_FAILED = "launch_failed";
}  // namespace error_code

/// A handler's failure: one of the codes above and an optional human-readable detail.
struct HostError {
  std::string_view code;
  std::optional<std::string> detail;

  /// A failure with `code` and `detail` (or none); the two below name the most common.
  static HostError of(std::string_view code, std::optional<std::string> detail = std::nullopt) {
    return {code, std::move(detail)};
  }
  static HostError invalid_request() { return {error_code::INVALID_REQUEST, std::nullopt}; }
  static HostError io_error(std::string detail) { return {error_code::IO_ERROR, std::move(detail)}; }

  friend bool operator==(const HostError&, const HostError&) = default;
};

/// The outcome of a request handler.
using HandlerResult = std::expected<nlohmann::json, HostError>;

}  // namespace tessiva::messages
