// Fuzz target for the Windows command-line splitter: the input is the command line in
// UTF-16 (little-endian pairs of bytes). Checks that nothing crashes, that quoting the
// arguments again with the quoting used to start programs gives the same arguments
// back, and that choosing the mode from them (with its launch job) never fails.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "main/command_line.h"
#include "open/launch_job.h"
#include "text/command_line.h"
#include "text/quote.h"
#include "text/utf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string line;
  line.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2)
    line.push_back(static_cast<char16_t>(data[i] | (static_cast<unsigned>(data[i + 1]) << 8)));

  const std::vector<std::string> arguments = tessiva::text::split_windows_command_line_utf8(line);
  if (line.empty() != arguments.empty()) std::abort();
  if (arguments.empty()) return 0;

  // The program path never holds a quote (quotes in it only group), so quoting it
  // whole gives it back; every other argument goes through the usual quoting.
  const auto wide = [](const std::string& s) {
    const auto converted = tessiva::text::utf8_to_utf16(s);
    if (!converted) std::abort();  // the splitter hands out valid UTF-8 only
    return *converted;
  };
  if (arguments.front().find('"') != std::string::npos) std::abort();
  std::u16string again = u"\"" + wide(arguments.front()) + u"\"";
  for (std::size_t i = 1; i < arguments.size(); ++i) tessiva::text::append_quoted_argument(again, wide(arguments[i]));
  if (tessiva::text::split_windows_command_line_utf8(again) != arguments) std::abort();

  const auto mode = tessiva::app::select_mode(arguments);
  if (const auto* launch = std::get_if<tessiva::app::LaunchMode>(&mode); launch && launch->job)
    (void)tessiva::open::decode_job(*launch->job);
  return 0;
}
