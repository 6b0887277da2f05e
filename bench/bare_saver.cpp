// File-transfer ceiling: like bare_reader, and appends the first three quarters of each
// frame's bytes to the file named by the first argument (base64 text decodes to three
// quarters of its length), so that reading the pipe plus writing the file is measured
// without decoding or parsing.

#include "bare_io.h"

int bare_main(const bare::Arg& path) {
  if (path.empty()) return 2;
  bare::AppendFile file(path);
  if (!file.ok()) return 2;
  std::vector<std::byte> body;
  for (;;) {
    switch (bare::read_frame(body)) {
      case bare::Frame::End: return 0;
      case bare::Frame::Broken: return 1;
      case bare::Frame::Read:
        if (!file.append(body.data(), body.size() / 4 * 3) || !bare::write_reply()) return 1;
        break;
    }
  }
}
