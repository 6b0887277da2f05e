// Channel benchmark: drives a native messaging host over pipes, side by side with bare
// reference programs started the same way, and prints one machine-readable line per
// figure:
//
//   bench name=<figure> target=<label> program=<which> value=<number> unit=<unit> [key=value...]
//
// Figures: start-up (spawn to first reply and spawn to exit), "hello" round trips per second on one
// connection, MB/s of 16 MiB frames, peak memory for one 16 MiB frame, optionally the
// file-saving ceiling, and optionally a whole chunked transfer (1 GiB in 16 MiB
// "transfer_chunk" frames) against bare_saver and a reference host in Python. Ratio
// lines (name=..._ratio, program=tessiva/bare) compare the host with its reference,
// once per round: value= is the median of the rounds, best=, worst= and spread= show
// how far the rounds agree, and limit= and pass= are there where the host has a limit
// to keep. The exit code is 0 when every limit holds, 1 when one does not, 2 or 3 when
// the run itself failed.
//
// Usage:
//   channel_bench --host CMD... -- --bare-once CMD... -- --bare-reader CMD... --
//                 [--target LABEL] [--bare-saver CMD... -- --saver-file PATH]
//                 [--cpu N | --no-pin] [--rounds N] [--startup-runs N]
//                 [--hello-batches N] [--frames N] [--timeout S]
//                 [--transfer-mib N [--host-save-folder TEXT] --save-folder PATH
//                  --python-ref CMD... -- --python-save-folder PATH [--transfer-min R]
//                  [--only-transfer]] [--only-startup]
//
// Each CMD is a program and its arguments, ended by a lone "--". The driver pins itself,
// and so every program it starts, to one CPU (by default the last one it may use):
// measured and reference programs then run under the same conditions, and a pipe round
// trip does not pay for waking another CPU, which on small virtual machines costs more
// than the work itself. Within each round host and reference are measured alternately
// (start-up runs, batches of round trips and frames on two connections open side by
// side, whole transfers), so that other load on the machine hits both alike.

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

constexpr std::size_t FRAME_SIZE = std::size_t{16} << 20;  // the largest request accepted
constexpr std::size_t MAX_REPLY = std::size_t{1} << 20;
constexpr std::string_view HELLO = R"({"type":"hello","id":1})";
constexpr double MiB = 1 << 20;

using Clock = std::chrono::steady_clock;
using Command = std::vector<std::string>;

unsigned g_timeout_seconds = 120;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "channel_bench: %s\n", what.c_str());
  std::exit(2);
}

[[noreturn]] void fail_errno(const std::string& what) { fail(what + ": " + std::strerror(errno)); }

/// Arms the watchdog: a program that stops answering ends the run instead of hanging it.
void watchdog() { alarm(g_timeout_seconds); }

void on_alarm(int) {
  constexpr char text[] = "channel_bench: timed out waiting for the program\n";
  [[maybe_unused]] auto ignored = write(2, text, sizeof text - 1);
  _exit(3);
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

/// A whole frame (length prefix and body) ready to be written in one call.
std::vector<char> make_frame(std::string_view body) {
  std::vector<char> frame(4 + body.size());
  const auto n = static_cast<std::uint32_t>(body.size());
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
  std::memcpy(frame.data() + 4, body.data(), body.size());
  return frame;
}

class PaddedFrame {
 public:
  explicit PaddedFrame(std::size_t size) : size_(size) {
    constexpr std::string_view head = R"({"type":"hello","id":1,"pad":")";
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    head_ = make_frame(head);
    const auto n = static_cast<std::uint32_t>(size);
    for (int i = 0; i < 4; ++i) head_[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    pad_ = size - head.size() - TAIL.size();
    // A multiple of the alphabet's length, so that the pieces continue the cycle.
    chunk_.resize(std::size_t{1} << 20);
    for (std::size_t i = 0; i < chunk_.size(); ++i) chunk_[i] = alphabet[i % alphabet.size()];
  }

  /// Bytes on the wire, length prefix included.
  [[nodiscard]] std::size_t wire_size() const { return 4 + size_; }

  template <typename Write>
  void write_to(Write&& write) const {
    write(head_.data(), head_.size());
    for (std::size_t left = pad_; left > 0;) {
      const std::size_t piece = std::min(left, chunk_.size());
      write(chunk_.data(), piece);
      left -= piece;
    }
    write(TAIL.data(), TAIL.size());
  }

 private:
  static constexpr std::string_view TAIL = R"("})";
  std::size_t size_;
  std::size_t pad_;
  std::vector<char> head_;
  std::vector<char> chunk_;
};

/// Peak resident memory of this driver, in bytes.
std::size_t own_peak() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss) * 1024;  // Linux reports KiB
}

/// One running program with pipes on its standard input and output.
class Child {
 public:
  explicit Child(const Command& command) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) fail_errno("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> argv;
    for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (rc != 0) {
      errno = rc;
      fail_errno("cannot start " + command[0]);
    }
    to_child_ = in[1];
    from_child_ = out[0];
  }

  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  ~Child() {
    if (pid_ > 0) finish();
  }

  void send(const std::vector<char>& frame) { write_all(frame.data(), frame.size()); }

  /// Writes raw bytes (a frame written in pieces).
  void write_raw(const char* data, std::size_t size) { write_all(data, size); }

  void send(const PaddedFrame& frame) {
    frame.write_to([this](const char* data, std::size_t size) { write_all(data, size); });
  }

  /// Reads one reply frame and checks that it is a success reply: a program that turns
  /// the request down would otherwise give flattering figures.
  void expect_ok_reply() {
    unsigned char prefix[4];
    read_exact(prefix, 4);
    const std::uint32_t n = prefix[0] | prefix[1] << 8 | prefix[2] << 16 |
                            static_cast<std::uint32_t>(prefix[3]) << 24;
    if (n > MAX_REPLY) fail("reply of " + std::to_string(n) + " bytes");
    reply_.resize(n);
    read_exact(reply_.data(), n);
    if (reply_.find(R"("ok":true)") == std::string::npos)
      fail("the program did not answer with success: " + reply_.substr(0, 300));
  }

  /// The peak resident memory of the program's current image so far (VmHWM), in bytes.
  /// Under Wine the process is the Wine loader with the Windows program inside it.
  [[nodiscard]] std::size_t peak_resident() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.starts_with("VmHWM:")) return std::stoull(line.substr(6)) * 1024;
    }
    fail("no VmHWM for process " + std::to_string(pid_));
  }

  /// Closes the program's input (the end of the channel), waits for it to exit and
  /// checks that it ended with code 0. Returns the peak resident memory that wait4
  /// reports, in bytes.
  std::size_t finish() {
    if (to_child_ >= 0) close(to_child_);
    to_child_ = -1;
    int status = 0;
    rusage usage{};
    while (wait4(pid_, &status, 0, &usage) < 0) {
      if (errno != EINTR) fail_errno("wait4");
    }
    pid_ = -1;
    close(from_child_);
    from_child_ = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      fail("the program did not exit with code 0 at the end of its input (status " +
           std::to_string(status) + ")");
    return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
  }

 private:
  void write_all(const char* p, std::size_t left) {
    while (left > 0) {
      const ssize_t put = write(to_child_, p, left);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) fail_errno("writing to the program");
      p += put;
      left -= static_cast<std::size_t>(put);
    }
  }

  void read_exact(void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
      const ssize_t got = read(from_child_, p, size);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) fail_errno("reading from the program");
      if (got == 0) fail("the program closed its output before replying");
      p += got;
      size -= static_cast<std::size_t>(got);
    }
  }

  pid_t pid_ = -1;
  int to_child_ = -1;
  int from_child_ = -1;
  std::string reply_;
};

struct Options {
  std::string target = "native";
  Command host, bare_once, bare_reader, bare_saver;
  std::string saver_file;
  int rounds = 7;            // every ratio is taken once per round
  int startup_runs = 15;     // starts of each program per round
  int hello_batches = 6;     // batches of 100 round trips per program per round
  int frames = 4;            // 16 MiB frames per program per round
  bool pin = true;
  int cpu = -1;
  // The transfer figure (off when transfer_mib is 0).
  std::size_t transfer_mib = 0;
  std::string host_save_folder;  // the save folder as the host names it (Z:\... under Wine), or none
  std::string save_folder;       // the same folder here; emptied after every run
  Command python_ref;
  std::string python_save_folder;
  bool only_transfer = false;
  bool only_startup = false;
  // Limits that differ between the targets.
  double transfer_min = 0.85;  // tessiva / bare_saver
};

void print_figure(std::string_view name, const Options& o, std::string_view program, double value,
                  std::string_view unit, const std::string& extra = {}) {
  std::printf("bench name=%.*s target=%s program=%.*s value=%.6g unit=%.*s%s%s\n",
              static_cast<int>(name.size()), name.data(), o.target.c_str(),
              static_cast<int>(program.size()), program.data(), value,
              static_cast<int>(unit.size()), unit.data(), extra.empty() ? "" : " ", extra.c_str());
  std::fflush(stdout);
}

struct Limit {
  double bound;
  bool at_most;
};

std::string limit_text(const Limit& limit, bool pass) {
  char text[96];
  std::snprintf(text, sizeof text, "limit=%s:%g pass=%s", limit.at_most ? "max" : "min", limit.bound,
                pass ? "yes" : "no");
  return text;
}

/// Prints a checked line; with a limit it says whether the limit holds and returns that.
bool print_checked(std::string_view name, const Options& o, std::string_view program,
                   double value, std::string_view unit, std::optional<Limit> limit) {
  bool pass = true;
  std::string extra;
  if (limit) {
    pass = limit->at_most ? value <= limit->bound : value >= limit->bound;
    extra = limit_text(*limit, pass);
  }
  print_figure(name, o, program, value, unit, extra);
  return pass;
}

/// A figure of one program over all rounds: the median of its samples, and the best.
void print_samples(std::string_view name, const Options& o, std::string_view program, const std::vector<double>& samples,
                   std::string_view unit, bool higher_is_better, const std::string& extra) {
  const double best = higher_is_better ? *std::max_element(samples.begin(), samples.end())
                                       : *std::min_element(samples.begin(), samples.end());
  char text[64];
  std::snprintf(text, sizeof text, "best=%.6g samples=%zu", best, samples.size());
  print_figure(name, o, program, median(samples), unit, std::string(text) + (extra.empty() ? "" : " " + extra));
}

/// A ratio taken once per round: value= is the median of the rounds, best= and worst=
/// the extremes, spread= their difference. The limit applies to the median.
bool print_ratio(std::string_view name, const Options& o, std::string_view programs, const std::vector<double>& ratios,
                 bool higher_is_better, std::optional<Limit> limit) {
  const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
  const double value = median(ratios);
  char text[160];
  std::snprintf(text, sizeof text, "best=%.4g worst=%.4g spread=%.4g rounds=%zu", higher_is_better ? *high : *low,
                higher_is_better ? *low : *high, *high - *low, ratios.size());
  std::string extra = text;
  bool pass = true;
  if (limit) {
    pass = limit->at_most ? value <= limit->bound : value >= limit->bound;
    extra += " " + limit_text(*limit, pass);
  }
  print_figure(name, o, programs, value, "ratio", extra);
  return pass;
}

/// One start that answers one "hello": milliseconds from the spawn to the reply, and to
/// the exit that follows when its input is closed right after the reply.
struct Startup {
  double reply_ms;
  double exit_ms;
};

Startup startup_once(const Command& command, const std::vector<char>& hello) {
  watchdog();
  const auto start = Clock::now();
  Child child(command);
  child.send(hello);
  child.expect_ok_reply();
  const double reply_ms = seconds_since(start) * 1e3;
  child.finish();
  return {reply_ms, seconds_since(start) * 1e3};
}

/// Round trips per second of one batch of "hello" requests.
double hello_batch(Child& child, const std::vector<char>& hello, int count) {
  watchdog();
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    child.send(hello);
    child.expect_ok_reply();
  }
  return count / seconds_since(start);
}

/// MB/s (10^6 bytes on the wire per second) of one big frame and its reply.
double frame_once(Child& child, const PaddedFrame& frame) {
  watchdog();
  const auto start = Clock::now();
  child.send(frame);
  child.expect_ok_reply();
  return static_cast<double>(frame.wire_size()) / seconds_since(start) / 1e6;
}

struct Peak {
  std::size_t image;  // VmHWM of the program's image just before its input ends
  std::size_t wait4;  // ru_maxrss from wait4, the whole process's life
};

/// Peak memory of a fresh connection that carries one frame.
template <typename Frame>
Peak peak_memory(const Command& command, const Frame& frame) {
  watchdog();
  Child child(command);
  child.send(frame);
  child.expect_ok_reply();
  const std::size_t image = child.peak_resident();
  return {image, child.finish()};
}

Command take_command(int& i, int argc, char** argv, std::string_view option) {
  Command command;
  for (++i; i < argc && std::string_view(argv[i]) != "--"; ++i) command.emplace_back(argv[i]);
  if (i >= argc) fail(std::string(option) + " needs a command ended by --");
  if (command.empty()) fail(std::string(option) + " needs a program");
  return command;
}

Options parse(int argc, char** argv) {
  Options o;
  auto value = [&](int& i) -> std::string {
    if (i + 1 >= argc) fail(std::string(argv[i]) + " needs a value");
    return argv[++i];
  };
  auto number = [&](int& i) {
    const std::string text = value(i);
    char* end = nullptr;
    const double n = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || n < 0) fail("not a number: " + text);
    return n;
  };
  auto count = [&](int& i) { return std::max(1, static_cast<int>(number(i))); };
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--target") o.target = value(i);
    else if (a == "--host") o.host = take_command(i, argc, argv, a);
    else if (a == "--bare-once") o.bare_once = take_command(i, argc, argv, a);
    else if (a == "--bare-reader") o.bare_reader = take_command(i, argc, argv, a);
    else if (a == "--bare-saver") o.bare_saver = take_command(i, argc, argv, a);
    else if (a == "--saver-file") o.saver_file = value(i);
    else if (a == "--rounds") o.rounds = count(i);
    else if (a == "--startup-runs") o.startup_runs = count(i);
    else if (a == "--hello-batches") o.hello_batches = count(i);
    else if (a == "--frames") o.frames = count(i);
    else if (a == "--timeout") g_timeout_seconds = std::max(1u, static_cast<unsigned>(number(i)));
    else if (a == "--cpu") o.cpu = static_cast<int>(number(i));
    else if (a == "--no-pin") o.pin = false;
    else if (a == "--transfer-mib") o.transfer_mib = static_cast<std::size_t>(number(i));
    else if (a == "--transfer-min") o.transfer_min = number(i);
    else if (a == "--host-save-folder") o.host_save_folder = value(i);
    else if (a == "--save-folder") o.save_folder = value(i);
    else if (a == "--python-ref") o.python_ref = take_command(i, argc, argv, a);
    else if (a == "--python-save-folder") o.python_save_folder = value(i);
    else if (a == "--only-transfer") o.only_transfer = true;
    else if (a == "--only-startup") o.only_startup = true;
    else fail("unknown argument " + std::string(a));
  }
  if (o.host.empty() || o.bare_once.empty() || (o.bare_reader.empty() && !o.only_startup))
    fail("--host, --bare-once and --bare-reader are required");
  if (o.only_startup && o.only_transfer) fail("--only-startup and --only-transfer exclude each other");
  if (!o.bare_saver.empty() && o.saver_file.empty())
    fail("--bare-saver needs --saver-file (the file it appends to, removed after each run)");
  if (o.transfer_mib > 0 &&
      (o.bare_saver.empty() || o.python_ref.empty() || o.save_folder.empty() || o.python_save_folder.empty()))
    fail("--transfer-mib needs --bare-saver, --python-ref, --save-folder and --python-save-folder");
  if (o.only_transfer && o.transfer_mib == 0) fail("--only-transfer needs --transfer-mib");
  if (o.rounds < 7)
    std::fprintf(stderr, "channel_bench: only %d rounds; the limits are meant for 7 or more\n", o.rounds);
  return o;
}

/// Pins this driver, and with it every program it starts, to one CPU.
void pin(const Options& o) {
  if (!o.pin) return;
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) fail_errno("sched_getaffinity");
  int cpu = o.cpu;
  if (cpu < 0) {
    for (int c = 0; c < CPU_SETSIZE; ++c)
      if (CPU_ISSET(c, &allowed)) cpu = c;
  }
  if (cpu < 0 || cpu >= CPU_SETSIZE || !CPU_ISSET(cpu, &allowed))
    fail("CPU " + std::to_string(cpu) + " is not available");
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(cpu, &one);
  if (sched_setaffinity(0, sizeof one, &one) != 0) fail_errno("sched_setaffinity");
  std::fprintf(stderr, "channel_bench: %s: driver and programs pinned to CPU %d\n",
               o.target.c_str(), cpu);
}

std::string mib_text(std::string_view key, std::size_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*s=%.2f", static_cast<int>(key.size()), key.data(),
                bytes / MiB);
  return text;
}

/// Samples of the host and its reference over all rounds, and the ratio of each round
/// (of the round's medians).
struct Paired {
  std::vector<double> host, reference, ratios;

  /// Runs one round of `per_round` samples each, host and reference taking turns and
  /// the one to go first changing every time.
  template <typename Host, typename Reference>
  void round(int per_round, Host&& host_sample, Reference&& reference_sample) {
    std::vector<double> h, r;
    for (int i = 0; i < per_round; ++i) {
      const bool host_first = (host.size() + h.size()) % 2 == 0;
      if (host_first) h.push_back(host_sample());
      r.push_back(reference_sample());
      if (!host_first) h.push_back(host_sample());
    }
    add(h, r);
  }

  /// Adds one round's samples taken elsewhere.
  void add(const std::vector<double>& h, const std::vector<double>& r) {
    ratios.push_back(median(h) / median(r));
    host.insert(host.end(), h.begin(), h.end());
    reference.insert(reference.end(), r.begin(), r.end());
  }
};

/// The channel figures: start-up, round trips, big frames, peak memory and the saving
/// ceiling. Returns whether every limit held.
bool channel_figures(const Options& o, const std::vector<char>& hello) {
  const PaddedFrame big(FRAME_SIZE);
  bool all_pass = true;
  const std::string per_round = "rounds=" + std::to_string(o.rounds);

  // Warm-up: the first starts of each program pay for the page cache (and under Wine
  // for mapping its DLLs).
  for (int i = 0; i < 3; ++i) {
    startup_once(o.host, hello);
    startup_once(o.bare_once, hello);
  }

  // Start-up: spawn to first reply, and spawn to exit of the same starts.
  {
    Paired reply, to_exit;
    for (int r = 0; r < o.rounds; ++r) {
      std::vector<double> host_reply, host_exit, bare_reply, bare_exit;
      for (int i = 0; i < o.startup_runs; ++i) {
        const bool host_first = (reply.host.size() + host_reply.size()) % 2 == 0;
        Startup host{}, bare{};
        if (host_first) host = startup_once(o.host, hello);
        bare = startup_once(o.bare_once, hello);
        if (!host_first) host = startup_once(o.host, hello);
        host_reply.push_back(host.reply_ms);
        host_exit.push_back(host.exit_ms);
        bare_reply.push_back(bare.reply_ms);
        bare_exit.push_back(bare.exit_ms);
      }
      reply.add(host_reply, bare_reply);
      to_exit.add(host_exit, bare_exit);
    }
    print_samples("startup", o, "tessiva", reply.host, "ms", false, per_round);
    print_samples("startup", o, "bare_once", reply.reference, "ms", false, per_round);
    all_pass &= print_ratio("startup_ratio", o, "tessiva/bare", reply.ratios, false, Limit{1.15, true});
    print_samples("startup_exit", o, "tessiva", to_exit.host, "ms", false, per_round);
    print_samples("startup_exit", o, "bare_once", to_exit.reference, "ms", false, per_round);
    all_pass &= print_ratio("startup_exit_ratio", o, "tessiva/bare", to_exit.ratios, false, Limit{1.25, true});
  }
  if (o.only_startup) return all_pass;

  // "hello" round trips on one connection each, in batches of 100.
  {
    Child host(o.host);
    Child bare(o.bare_reader);
    hello_batch(host, hello, 100);
    hello_batch(bare, hello, 100);
    Paired rtt;
    for (int r = 0; r < o.rounds; ++r)
      rtt.round(o.hello_batches, [&] { return hello_batch(host, hello, 100); },
                [&] { return hello_batch(bare, hello, 100); });
    host.finish();
    bare.finish();
    print_samples("hello_rtt", o, "tessiva", rtt.host, "per_s", true, per_round);
    print_samples("hello_rtt", o, "bare_reader", rtt.reference, "per_s", true, per_round);
    all_pass &= print_ratio("hello_rtt_ratio", o, "tessiva/bare", rtt.ratios, true, Limit{0.85, false});
  }

  // 16 MiB frames, one at a time as the browser sends them, after one frame of warm-up
  // (buffers allocated and touched once).
  {
    Child host(o.host);
    Child bare(o.bare_reader);
    frame_once(host, big);
    frame_once(bare, big);
    Paired frames;
    for (int r = 0; r < o.rounds; ++r)
      frames.round(o.frames, [&] { return frame_once(host, big); }, [&] { return frame_once(bare, big); });
    host.finish();
    bare.finish();
    print_samples("frame_16mib", o, "tessiva", frames.host, "MB_per_s", true, per_round);
    print_samples("frame_16mib", o, "bare_reader", frames.reference, "MB_per_s", true, per_round);
    all_pass &= print_ratio("frame_16mib_ratio", o, "tessiva/bare", frames.ratios, true, Limit{0.8, false});
  }

  // Peak memory of a fresh connection carrying one 16 MiB frame, and of one carrying a
  // "hello" (the process's own footprint; under Wine mostly Wine's). The value is the
  // program image's VmHWM; wait4's figure is printed beside it, and can be no lower
  // than this driver's own peak, which the kernel hands on to a started program.
  {
    const Peak host_big = peak_memory(o.host, big);
    const Peak host_idle = peak_memory(o.host, hello);
    const Peak bare_big = peak_memory(o.bare_reader, big);
    const std::string driver = mib_text("driver_mib", own_peak());
    print_figure("peak_rss", o, "tessiva", host_big.image / MiB, "MiB",
                 "frame=16MiB " + mib_text("wait4_mib", host_big.wait4) + " " + driver);
    print_figure("peak_rss_idle", o, "tessiva", host_idle.image / MiB, "MiB",
                 "frame=hello " + mib_text("wait4_mib", host_idle.wait4) + " " + driver);
    print_figure("peak_rss", o, "bare_reader", bare_big.image / MiB, "MiB",
                 "frame=16MiB " + mib_text("wait4_mib", bare_big.wait4) + " " + driver);
    // Natively the whole peak is held to 1.25 frames; under Wine the peak includes the
    // emulated system, so what the frame adds to the idle footprint is held to three.
    const bool native = o.target == "native";
    const double whole = host_big.image / static_cast<double>(FRAME_SIZE);
    const double added =
        (host_big.image > host_idle.image ? host_big.image - host_idle.image : 0) /
        static_cast<double>(FRAME_SIZE);
    all_pass &= print_checked("peak_rss_per_frame", o, "tessiva", whole, "x_frame",
                              native ? std::optional(Limit{1.25, true}) : std::nullopt);
    all_pass &= print_checked("peak_rss_added_per_frame", o, "tessiva", added, "x_frame",
                              native ? std::nullopt : std::optional(Limit{3, true}));
  }

  // File-saving ceiling: reading the pipe plus appending three quarters of every frame
  // to a file, in MB/s of file payload.
  if (!o.bare_saver.empty()) {
    Child saver(o.bare_saver);
    frame_once(saver, big);
    std::vector<double> rates;
    for (int i = 0; i < o.rounds * o.frames; ++i) rates.push_back(frame_once(saver, big) * 0.75);
    saver.finish();
    unlink(o.saver_file.c_str());
    print_samples("save_ceiling", o, "bare_saver", rates, "MB_per_s", true, "payload=3/4_of_frame");
  }

  return all_pass;
}

/// The "transfer_chunk" frames of one transfer: each carries at most a frame's worth of
/// base64 text, cut from a 1 MiB text that repeats, so that the driver itself stays
/// small (see peak_memory).
class ChunkFrames {
 public:
  ChunkFrames() {
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    // Any text of whole 4-character groups decodes; the pseudo-random sequence keeps
    // the bytes from compressing to nothing on their way to the disk.
    text_.resize(std::size_t{1} << 20);
    std::uint32_t x = 2463534242u;
    for (auto& c : text_) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      c = alphabet[x % 64];
    }
  }

  /// File bytes that one full frame carries.
  [[nodiscard]] static std::size_t full_payload() {
    const std::size_t text = (FRAME_SIZE - HEAD.size() - TAIL.size()) / 4 * 4;
    return text / 4 * 3;
  }

  /// Writes one frame whose data decodes to `payload` bytes (at most `full_payload`).
  template <typename Write>
  void write_to(std::size_t payload, Write&& write) const {
    const std::size_t groups = payload / 3;
    const std::size_t rest = payload % 3;
    // One or two bytes left over take a padded last group.
    const std::string_view last = rest == 0 ? "" : rest == 1 ? "AA==" : "AAA=";
    const std::size_t body = HEAD.size() + groups * 4 + last.size() + TAIL.size();
    std::vector<char> head = make_frame(HEAD);
    for (int i = 0; i < 4; ++i) head[i] = static_cast<char>((body >> (8 * i)) & 0xFF);
    write(head.data(), head.size());
    for (std::size_t left = groups * 4; left > 0;) {
      const std::size_t piece = std::min(left, text_.size());
      write(text_.data(), piece);
      left -= piece;
    }
    write(last.data(), last.size());
    write(TAIL.data(), TAIL.size());
  }

 private:
  static constexpr std::string_view HEAD = R"({"type":"transfer_chunk","id":2,"transfer_id":"t1","data":")";
  static constexpr std::string_view TAIL = R"("})";
  std::vector<char> text_;
};

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

/// The load average over the last minute, five and fifteen minutes.
std::string load_average() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  return one + "/" + five + "/" + fifteen;
}

/// Removes every file in `folder` (saved files of a run).
void empty_folder(const std::string& folder) {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
    std::filesystem::remove(entry.path(), ignored);
}

/// Size of the one file that a run left in `folder` (0 when there is none).
std::uintmax_t saved_size(const std::string& folder) {
  std::error_code ignored;
  std::uintmax_t size = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
    if (entry.is_regular_file(ignored) && entry.path().extension() != ".json") size += entry.file_size(ignored);
  return size;
}

struct TransferRun {
  double mb_per_s;         // file payload (10^6 bytes) per second, begin to finish reply
  std::size_t peak;        // VmHWM of the program's image after the transfer
};

/// One whole transfer of `total` bytes on a fresh connection: the settings (the save
/// folder, the pattern "{name}"), "begin_transfer", the chunks, "finish_transfer".
TransferRun transfer_once(const Command& command, const Options& o, const ChunkFrames& frames,
                          std::uint64_t total) {
  Child child(command);
  watchdog();
  // Without --host-save-folder the host saves into its default folder (the native
  // build takes only Windows paths as a save folder).
  const std::string folder =
      o.host_save_folder.empty() ? std::string() : R"("save_folder":)" + json_string(o.host_save_folder) + ",";
  child.send(make_frame(R"({"type":"set_config","id":0,"config":{"version":1,)" + folder +
                        R"("name_pattern":"{name}"}})"));
  child.expect_ok_reply();
  const auto start = Clock::now();
  child.send(make_frame(R"({"type":"begin_transfer","id":1,"original_name":"bench.bin","size":)" +
                        std::to_string(total) + "}"));
  child.expect_ok_reply();
  for (std::uint64_t left = total; left > 0;) {
    watchdog();
    const std::size_t payload = static_cast<std::size_t>(std::min<std::uint64_t>(left, ChunkFrames::full_payload()));
    frames.write_to(payload, [&](const char* data, std::size_t size) { child.write_raw(data, size); });
    child.expect_ok_reply();
    left -= payload;
  }
  child.send(make_frame(R"({"type":"finish_transfer","id":3,"transfer_id":"t1","target":{"kind":"save_only"}})"));
  child.expect_ok_reply();
  const double seconds = seconds_since(start);
  const std::size_t peak = child.peak_resident();
  child.finish();
  return {static_cast<double>(total) / seconds / 1e6, peak};
}

/// A chunked transfer end to end, against bare_saver (reading the frames and writing
/// three quarters of them: the ceiling) and a reference host in Python doing the same
/// work as the host, one transfer of each per round. Returns whether every limit held.
bool transfer_figures(const Options& o, const std::vector<char>& hello) {
  const std::uint64_t total = static_cast<std::uint64_t>(o.transfer_mib) << 20;
  const ChunkFrames frames;
  const std::string load_before = load_average();
  struct Program {
    std::string_view name;
    const Command& command;
    std::string folder;  // where its saved file lands ("" for bare_saver)
    std::vector<double> rates;
    std::size_t peak = 0;
  };
  Program programs[] = {{"tessiva", o.host, o.save_folder, {}, 0},
                        {"bare_saver", o.bare_saver, "", {}, 0},
                        {"python_ref", o.python_ref, o.python_save_folder, {}, 0}};
  std::vector<double> to_bare, to_python;
  for (int run = 0; run < o.rounds; ++run) {
    // The order turns with every round, so that none always follows another.
    for (int k = 0; k < 3; ++k) {
      Program& p = programs[(run + k) % 3];
      const TransferRun r = transfer_once(p.command, o, frames, total);
      if (!p.folder.empty()) {
        const std::uintmax_t size = saved_size(p.folder);
        if (size != total)
          fail(std::string(p.name) + " saved " + std::to_string(size) + " bytes, not " + std::to_string(total));
        empty_folder(p.folder);
      } else {
        unlink(o.saver_file.c_str());
      }
      // Every program starts with no dirty pages of another's file in the page cache:
      // writeback of those would slow whoever runs next.
      sync();
      // Each run on its own line too: on a loaded machine the spread says how far the
      // medians can be trusted.
      print_figure("transfer_run", o, p.name, r.mb_per_s, "MB_per_s", "run=" + std::to_string(run + 1));
      p.rates.push_back(r.mb_per_s);
      p.peak = std::max(p.peak, r.peak);
    }
    to_bare.push_back(programs[0].rates.back() / programs[1].rates.back());
    to_python.push_back(programs[0].rates.back() / programs[2].rates.back());
  }
  const Peak idle = peak_memory(o.host, hello);
  const std::string extra = "size_mib=" + std::to_string(o.transfer_mib) + " load=" + load_before + ".." + load_average();
  for (const Program& p : programs) {
    print_samples("transfer", o, p.name, p.rates, "MB_per_s", true, extra);
    print_figure("transfer_peak_rss", o, p.name, p.peak / MiB, "MiB", "frame=16MiB");
  }
  bool pass = true;
  pass &= print_ratio("transfer_ratio", o, "tessiva/bare_saver", to_bare, true, Limit{o.transfer_min, false});
  pass &= print_ratio("transfer_ratio", o, "tessiva/python_ref", to_python, true, Limit{3, false});
  // As for single frames: natively the whole peak is held to 1.25 frames; under Wine
  // what the transfer adds to the idle footprint is held to three (it includes the
  // system libraries that the transfer's requests load, about half a frame).
  const bool native = o.target == "native";
  const std::size_t peak = programs[0].peak;
  pass &= print_checked("transfer_peak_rss_per_frame", o, "tessiva", peak / static_cast<double>(FRAME_SIZE),
                        "x_frame", native ? std::optional(Limit{1.25, true}) : std::nullopt);
  pass &= print_checked("transfer_peak_rss_added_per_frame", o, "tessiva",
                        (peak > idle.image ? peak - idle.image : 0) / static_cast<double>(FRAME_SIZE), "x_frame",
                        native ? std::nullopt : std::optional(Limit{3, true}));
  return pass;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = parse(argc, argv);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGALRM, on_alarm);
  pin(o);

  const std::vector<char> hello = make_frame(HELLO);
  bool all_pass = true;
  if (!o.only_transfer) all_pass &= channel_figures(o, hello);
  if (o.transfer_mib > 0 && !o.only_startup) all_pass &= transfer_figures(o, hello);

  alarm(0);
  return all_pass ? 0 : 1;
}
