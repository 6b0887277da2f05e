#pragma once
/// The error type of every platform operation.

#include <cstdint>
#include <expected>
#include <string>

namespace tessiva::platform {

/// An operating-system failure: the system's error number and its message text.
struct OsError {
  std::uint32_t code = 0;
  std::string message;

  /// "<message> (os error <code>)", the form in which system errors reach the browser.
  [[nodiscard]] std::string text() const;

  friend bool operator==(const OsError&, const OsError&) = default;
};

template <class T>
using Result = std::expected<T, OsError>;

}  // namespace tessiva::platform
