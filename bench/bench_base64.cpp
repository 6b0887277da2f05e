// Base64 chunk decoding throughput, against a plain four-characters-per-step decoder.
//
// Build and run (from the repository root):
//   cmake --preset linux && cmake --build --preset linux --target bench_base64
//   build/linux/bench/bench_base64
// On a busy machine pin it to one CPU (taskset -c 1) and add --benchmark_repetitions=10;
// the ratio to the plain decoder is steadier than the absolute rate.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "codec/base64.h"

namespace {

using tessiva::codec::base64_decode;
using tessiva::codec::base64_decoded_size_max;
using tessiva::codec::base64_encode;

std::string random_text(std::size_t decoded_size) {
  std::vector<std::byte> bytes(decoded_size);
  std::mt19937_64 random(1);
  for (std::byte& b : bytes) b = std::byte(random());
  return base64_encode(bytes);
}

/// One table lookup per character, four characters to three bytes per step.
bool plain_decode(std::string_view text, std::vector<std::byte>& out) {
  static const std::array<std::uint8_t, 256> table = [] {
    std::array<std::uint8_t, 256> t;
    t.fill(0xFF);
    const std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < alphabet.size(); ++i) t[static_cast<unsigned char>(alphabet[i])] = i;
    t['-'] = 62;
    t['_'] = 63;
    return t;
  }();
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  if (out.size() < text.size() / 4 * 3 + 2) out.resize(text.size() / 4 * 3 + 2);
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  std::byte* o = out.data();
  std::size_t i = 0;
  for (; i + 4 <= text.size(); i += 4, o += 3) {
    const std::uint32_t a = table[s[i]], b = table[s[i + 1]], c = table[s[i + 2]], d = table[s[i + 3]];
    if ((a | b | c | d) & 0x80) return false;
    const std::uint32_t v = a << 18 | b << 12 | c << 6 | d;
    o[0] = std::byte(v >> 16);
    o[1] = std::byte(v >> 8);
    o[2] = std::byte(v);
  }
  return text.size() - i != 1;  // tail handling left out: it does not change the rate
}

void BM_ChunkDecode(benchmark::State& state) {
  const std::string text = random_text(static_cast<std::size_t>(state.range(0)));
  // One buffer for every chunk, as a transfer keeps it.
  std::vector<std::byte> out(base64_decoded_size_max(text.size()));
  for (auto _ : state) {
    auto n = base64_decode(text, out);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_PlainDecode(benchmark::State& state) {
  const std::string text = random_text(static_cast<std::size_t>(state.range(0)));
  std::vector<std::byte> out;
  for (auto _ : state) {
    bool ok = plain_decode(text, out);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_Encode(benchmark::State& state) {
  std::vector<std::byte> bytes(static_cast<std::size_t>(state.range(0)), std::byte{0x5A});
  for (auto _ : state) {
    std::string text = base64_encode(bytes);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

// 12 MiB decode to the 16 MiB text of the largest frame; 48 KiB stays in the caches.
BENCHMARK(BM_ChunkDecode)->Arg(48 << 10)->Arg(12 << 20);
BENCHMARK(BM_PlainDecode)->Arg(48 << 10)->Arg(12 << 20);
BENCHMARK(BM_Encode)->Arg(256 << 10);

}  // namespace

BENCHMARK_MAIN();
