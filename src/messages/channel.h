#pragma once
/// The framed message channel: a 4-byte little-endian length, then that many bytes of
/// JSON, in both directions.

#include <cstddef>
#include <functional>
#include <memory>
#include <span>

#include <nlohmann/json.hpp>

#include "messages/reply.h"
#include "messages/request.h"
#include "platform/os_error.h"

namespace tessiva::messages {

/// Where requests come from. Abstract so tests can feed the loop from memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  /// Reads up to `buffer.size()` bytes; 0 means the input has ended.
  [[nodiscard]] virtual platform::Result<std::size_t> read(std::span<std::byte> buffer) = 0;
};

/// Where replies go.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  [[nodiscard]] virtual platform::Result<void> write(std::span<const std::byte> bytes) = 0;
};

/// Standard input and output of the process.
class StdinSource final : public ByteSource {
 public:
  platform::Result<std::size_t> read(std::span<std::byte> buffer) override;
};
class StdoutSink final : public ByteSink {
 public:
  platform::Result<void> write(std::span<const std::byte> bytes) override;
};

/// Turns one parsed request into its reply. The request's long strings live in the
/// frame buffer and are gone once it returns.
using Dispatcher = std::function<Reply(Request& request)>;

/// Why the loop ended.
enum class ChannelEnd {
  InputClosed,     ///< end of input at a frame boundary or inside a length prefix: exit 0
  ReadFailed,      ///< a read error, or the input ended inside a body
  MessageTooLarge, ///< "message too large"
  ReplyTooLarge,   ///< "reply too large"
  WriteFailed,
};

/// Told of the loop's progress (the troubleshooting log). Every call is cheap unless
/// the observer chooses otherwise.
class ChannelObserver {
 public:
  virtual ~ChannelObserver() = default;
  /// Before the loop reads the next frame, after the reply to the previous one (if any)
  /// was written.
  virtual void before_frame() = 0;
  /// A frame that was not acceptable JSON was answered with "invalid_request".
  virtual void rejected_frame() = 0;
};

/// The process exit code for the way the loop ended: 0 or 1.
[[nodiscard]] int exit_code(ChannelEnd end) noexcept;

/// Runs the loop: reads a frame, parses it, dispatches it and writes the one reply,
/// until the input ends or something fails. Replies to a body that is not acceptable
/// JSON with "invalid_request" and a null id without calling `dispatch`.
[[nodiscard]] ChannelEnd run_channel(ByteSource& input, ByteSink& output, const Dispatcher& dispatch,
                                     ChannelObserver* observer = nullptr);

}  // namespace tessiva::messages
