// Channel ceiling: reads frames in a loop (in reads of at most 1 MiB, into one buffer
// kept across frames) and answers each with a short fixed frame. It parses nothing, so
// its throughput is what the pipe itself allows.

#include "bare_io.h"

int bare_main(const bare::Arg&) {
  std::vector<std::byte> body;
  for (;;) {
    switch (bare::read_frame(body)) {
      case bare::Frame::End: return 0;
      case bare::Frame::Broken: return 1;
      case bare::Frame::Read:
        if (!bare::write_reply()) return 1;
        break;
    }
  }
}
