// Start-up reference: reads one frame, answers it with a short fixed frame, exits.
// Spawn-to-first-reply of this program is what the host's start-up is compared with.

#include "bare_io.h"

int bare_main(const bare::Arg&) {
  std::vector<std::byte> body;
  if (bare::read_frame(body) != bare::Frame::Read) return 1;
  return bare::write_reply() ? 0 : 1;
}
