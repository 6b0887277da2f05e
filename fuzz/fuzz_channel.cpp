// Arbitrary bytes through the frame reader, the JSON reader and the dispatcher. Every
// reply must be a whole frame within the reply limit, and nothing may crash.

#include <cstdlib>
#include <cstring>
#include <string>

#include "main/dispatch.h"
#include "messages/channel.h"
#include "messages/protocol.h"

namespace {

using namespace tessiva;

class Source : public messages::ByteSource {
 public:
  Source(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  platform::Result<std::size_t> read(std::span<std::byte> buffer) override {
    // Uneven read sizes, driven by the data itself, exercise partial reads.
    std::size_t n = std::min(buffer.size(), size_ - pos_);
    if (n > 1 && pos_ < size_) n = std::min<std::size_t>(n, 1 + data_[pos_] % 64 * 97);
    std::memcpy(buffer.data(), data_ + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_, pos_ = 0;
};

/// Checks that every write is one whole frame: a length, then exactly that many bytes,
/// within the reply limit.
class Sink : public messages::ByteSink {
 public:
  platform::Result<void> write(std::span<const std::byte> bytes) override {
    if (bytes.size() < 4) std::abort();
    std::uint32_t n = 0;
    std::memcpy(&n, bytes.data(), 4);
    if (n > messages::MAX_REPLY_SIZE || bytes.size() != 4 + std::size_t{n}) std::abort();
    return {};
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Handlers that touch the user's folders must only ever see a throwaway profile.
  char dir[] = "/tmp/tessiva-fuzz-XXXXXX";
  if (mkdtemp(dir) == nullptr) std::abort();
  for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_DOCUMENTS_DIR"}) setenv(var, dir, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Source source(data, size);
  Sink sink;
  app::HostState state;
  (void)messages::run_channel(source, sink, [&](messages::Request& r) { return app::dispatch(state, r); });
  return 0;
}
