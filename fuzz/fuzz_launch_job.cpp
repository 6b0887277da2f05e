// Fuzz target for the launch job that crosses the command line: the input is read both
// as the hexadecimal argument and as the job text it stands for. Checks that nothing
// crashes, that both readings agree, and that a job read is written and read back as
// the same job.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "open/launch_job.h"

namespace {

using tessiva::open::LaunchJob;

void check_round_trip(const LaunchJob& job) {
  const auto from_text = tessiva::open::parse_job_text(tessiva::open::job_text(job));
  if (!from_text || *from_text != job) std::abort();
  const std::string hex = tessiva::open::encode_job(job);
  const auto from_hex = tessiva::open::decode_job(hex);
  if (!from_hex || *from_hex != job) std::abort();
  for (const char c : hex)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // As the argument after "--launch".
  if (const auto job = tessiva::open::decode_job(input)) check_round_trip(*job);

  // As the job text; its hexadecimal form, in either case, reads the same.
  const auto job = tessiva::open::parse_job_text(input);
  if (job) check_round_trip(*job);
  constexpr std::string_view DIGITS = "0123456789abcdef0123456789ABCDEF";
  std::string hex;
  hex.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(input[i]);
    const std::size_t letters = (i % 2) * 16;  // mixed case
    hex += DIGITS[letters + byte / 16];
    hex += DIGITS[letters + byte % 16];
  }
  if (tessiva::open::decode_job(hex) != job) std::abort();
  return 0;
}
