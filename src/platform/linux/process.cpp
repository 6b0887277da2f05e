#include "platform/process.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <limits>

#include "platform/files.h"
#include "platform/linux/posix_error.h"
#include "platform/linux/posix_process.h"

namespace tessiva::platform {

const std::string_view PLATFORM_NAME = "linux";
const bool STRICT_OPTIONS = true;

namespace {

std::vector<std::string>& saved_arguments() {
  static std::vector<std::string> args;
  return args;
}

}  // namespace

void set_process_arguments(int argc, char** argv) {
  saved_arguments().assign(argv, argv + argc);
  // A reader that goes away must give a write error, not end the process.
  signal(SIGPIPE, SIG_IGN);
}

std::vector<std::string> arguments() { return saved_arguments(); }

namespace {

Result<std::string> link_target(const std::string& link) {
  char buffer[PATH_MAX];
  const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
  if (n < 0) return std::unexpected(os_error(errno));
  return std::string(buffer, static_cast<std::size_t>(n));
}

/// True when /proc says that the process has ended and only waits to be reaped.
bool is_zombie(std::uint32_t id) {
  const auto stat = read_file("/proc/" + std::to_string(id) + "/stat");
  if (!stat) return false;
  // "<pid> (<name>) <state> ...": the name may hold spaces and parentheses itself.
  const auto close = stat->rfind(')');
  if (close == std::string::npos || close + 2 >= stat->size()) return false;
  const char state = (*stat)[close + 2];
  return state == 'Z' || state == 'X';
}

}  // namespace

Result<std::string> executable_path() { return link_target("/proc/self/exe"); }

std::uint32_t process_id() noexcept { return static_cast<std::uint32_t>(getpid()); }

ProcessState process_state(std::uint32_t id) {
  if (id == process_id()) return ProcessState::Alive;
  // 0 and ids past pid_t would ask about process groups, not a process; no process
  // has such an id.
  if (id == 0 || id > static_cast<std::uint32_t>(std::numeric_limits<pid_t>::max())) return ProcessState::Gone;
  if (kill(static_cast<pid_t>(id), 0) != 0) return errno == ESRCH ? ProcessState::Gone : ProcessState::Unknown;
  if (is_zombie(id)) return ProcessState::Gone;
  return ProcessState::Alive;
}

Result<std::size_t> read_stdin(std::span<std::byte> buffer) {
  while (true) {
    const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return std::unexpected(os_error(errno));
  }
}

Result<void> write_stdout(std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(os_error(errno));
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return {};
}

Result<void> start_detached(const std::string& program, const std::vector<std::string>& arguments,
                            const DetachedStart& how) {
  std::vector<char*> argv;
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return std::unexpected(os_error(errno));
  const pid_t child = fork();
  if (child < 0) {
    const int e = errno;
    close(report[0]);
    close(report[1]);
    return std::unexpected(os_error(e));
  }
  if (child == 0) {
    if (how.new_session)
      setsid();
    else
      setpgid(0, 0);
    const pid_t grandchild = fork();
    if (grandchild == 0) {
      if (how.null_streams) {
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
          dup2(null, STDIN_FILENO);
          dup2(null, STDOUT_FILENO);
        }
      }
      if (how.folder.empty() || chdir(how.folder.c_str()) == 0) execv(program.c_str(), argv.data());
      const int e = errno;
      [[maybe_unused]] auto ignored = write(report[1], &e, sizeof e);
      _exit(127);
    }
    _exit(grandchild < 0 ? 1 : 0);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int start_error = 0;
  ssize_t got;
  while ((got = read(report[0], &start_error, sizeof start_error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (got == sizeof start_error) return std::unexpected(os_error(start_error));
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::unexpected(os_error(EAGAIN));
  return {};
}

Result<void> spawn_detached(const std::string& program, const std::vector<std::string>& arguments, CreationOptions) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return start_detached(program, argv, {.new_session = true, .null_streams = true, .folder = {}});
}

namespace {

/// The path without the mark the kernel adds once the file was deleted or replaced.
std::string_view without_deleted_mark(std::string_view path) {
  constexpr std::string_view MARK = " (deleted)";
  if (path.ends_with(MARK)) path.remove_suffix(MARK.size());
  return path;
}

}  // namespace

Result<void> spawn_self_detached(const std::vector<std::string>& arguments, CreationOptions) {
  const auto path = executable_path();
  std::vector<std::string> argv{path ? std::string(without_deleted_mark(*path)) : std::string("tessiva")};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return start_detached("/proc/self/exe", argv, {.new_session = true, .null_streams = true, .folder = {}});
}

Result<std::string> run_with_pipes(const std::string& program, const std::vector<std::string>& argv,
                                   std::string_view input, std::size_t limit, int timeout_ms) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int to_child[2];
  int from_child[2];
  if (pipe2(to_child, O_CLOEXEC) != 0) return std::unexpected(os_error(errno));
  if (pipe2(from_child, O_CLOEXEC) != 0) {
    const int e = errno;
    close(to_child[0]);
    close(to_child[1]);
    return std::unexpected(os_error(e));
  }
  const pid_t child = fork();
  if (child == 0) {
    dup2(to_child[0], STDIN_FILENO);
    dup2(from_child[1], STDOUT_FILENO);
    execv(program.c_str(), args.data());
    _exit(127);
  }
  const int fork_error = errno;
  close(to_child[0]);
  close(from_child[1]);
  if (child < 0) {
    close(to_child[1]);
    close(from_child[0]);
    return std::unexpected(os_error(fork_error));
  }
  // The input is small (one request): a pipe's buffer takes it whole, and a program
  // that never reads it gets a closed pipe, not a caller that waits.
  std::string_view rest = input;
  while (!rest.empty()) {
    const ssize_t n = ::write(to_child[1], rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  close(to_child[1]);

  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (output.size() < limit) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd wait_for{from_child[0], POLLIN, 0};
    const int ready = poll(&wait_for, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[4096];
    const ssize_t n = ::read(from_child[0], buffer, std::min(sizeof buffer, limit - output.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output.append(buffer, static_cast<std::size_t>(n));
  }
  close(from_child[0]);
  // Ended already, or killed now: either way reaped, never left a zombie.
  kill(child, SIGKILL);
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  return output;
}

bool runs_as_superuser() noexcept { return geteuid() == 0; }

void exit_process(int code) { std::exit(code); }

}  // namespace tessiva::platform
