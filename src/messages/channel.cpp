#include "messages/channel.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "messages/framing.h"
#include "messages/json_reader.h"
#include "messages/protocol.h"
#include "messages/reply.h"
#include "platform/memory.h"
#include "platform/process.h"

namespace tessiva::messages {
namespace {

/// How much one read asks for. Under Wine a ReadFile first touches every page of the
/// buffer it is given, so a read that asks for far more than arrives costs as if it had
/// filled it: a pipe hands out at most what it holds (64 KiB on Linux), and a request
/// for the rest of a 16 MiB frame would touch up to 256 times the pages it fills. So a
/// request follows what the reads bring: it doubles after a read that filled it (up to
/// MAX_READ) and comes down to what arrived (at least MIN_READ) after one that did not.
class ReadSize {
 public:
  static constexpr std::size_t MIN_READ = 64 * 1024;
  static constexpr std::size_t MAX_READ = 1024 * 1024;

  [[nodiscard]] std::size_t next(std::size_t left) const noexcept { return std::min(left, size_); }

  void update(std::size_t asked, std::size_t got) noexcept {
    if (got >= asked)
      size_ = std::min(std::max(size_, asked) * 2, MAX_READ);
    else
      size_ = std::max((got + MIN_READ - 1) / MIN_READ * MIN_READ, MIN_READ);
  }

 private:
  std::size_t size_ = MIN_READ;
};

enum class ReadOutcome { Complete, EndAtStart, EndInside, Failed };

/// Reads exactly `buffer.size()` bytes, repeating partial reads.
ReadOutcome read_exactly(ByteSource& input, std::span<std::byte> buffer, ReadSize& read_size) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const std::size_t want = read_size.next(buffer.size() - done);
    const auto got = input.read(buffer.subspan(done, want));
    if (!got) return ReadOutcome::Failed;
    if (*got == 0) return done == 0 ? ReadOutcome::EndAtStart : ReadOutcome::EndInside;
    // Short requests (the length prefix, the rest of a frame) say nothing of the input.
    if (want >= ReadSize::MIN_READ) read_size.update(want, *got);
    done += *got;
  }
  return ReadOutcome::Complete;
}

/// The request buffer, kept from one frame to the next so that its pages are touched
/// only once. It grows to exactly what a frame needs and never shrinks. Large frames
/// get memory made for them (see `platform::LargeBuffer`): a 16 MiB chunk frame is
/// written by the read, scanned and decoded, and on small pages that costs more TLB
/// misses and page faults than the work itself.
class FrameBuffer {
 public:
  char* get(std::size_t size) {
    const std::size_t needed = size + JSON_PADDING;
    if (needed > block_.size()) {
      block_ = platform::LargeBuffer();  // release the old block before taking the larger one
      block_ = platform::LargeBuffer(needed);
    }
    return block_.data();
  }

 private:
  platform::LargeBuffer block_;
};

}  // namespace

platform::Result<std::size_t> StdinSource::read(std::span<std::byte> buffer) { return platform::read_stdin(buffer); }

platform::Result<void> StdoutSink::write(std::span<const std::byte> bytes) { return platform::write_stdout(bytes); }

int exit_code(ChannelEnd end) noexcept { return end == ChannelEnd::InputClosed ? 0 : 1; }

ChannelEnd run_channel(ByteSource& input, ByteSink& output, const Dispatcher& dispatch, ChannelObserver* observer) {
  FrameBuffer buffer;
  ReadSize read_size;
  // The reply frame, kept from one reply to the next like the request buffer.
  std::string frame;
  while (true) {
    if (observer) observer->before_frame();
    std::array<std::byte, FRAME_PREFIX_BYTES> prefix;
    switch (read_exactly(input, prefix, read_size)) {
      case ReadOutcome::Complete: break;
      case ReadOutcome::EndAtStart:
      case ReadOutcome::EndInside: return ChannelEnd::InputClosed;
      case ReadOutcome::Failed: return ChannelEnd::ReadFailed;
    }
    const std::uint32_t size = frame_length(prefix);
    if (size > MAX_MESSAGE_SIZE) return ChannelEnd::MessageTooLarge;

    char* body = buffer.get(size);
    if (size > 0 && read_exactly(input, std::as_writable_bytes(std::span(body, size)), read_size) != ReadOutcome::Complete)
      return ChannelEnd::ReadFailed;

    auto request = read_request_in_situ(body, size);
    const Reply reply = request ? dispatch(*request) : Reply{nullptr, std::unexpected(HostError::invalid_request())};
    if (!request && observer) observer->rejected_frame();
    request.reset();  // a 16 MiB request need not live on while the reply is written

    // The frame is built whole, length first, and written with one call: a second
    // write per reply halves the rate of small round trips.
    frame.assign(FRAME_PREFIX_BYTES, '\0');
    append_reply(frame, reply);
    const std::size_t n = frame.size() - FRAME_PREFIX_BYTES;
    if (n > MAX_REPLY_SIZE) return ChannelEnd::ReplyTooLarge;
    write_frame_length(frame.data(), n);
    if (!output.write(std::as_bytes(std::span(frame)))) return ChannelEnd::WriteFailed;
  }
}

}  // namespace tessiva::messages
