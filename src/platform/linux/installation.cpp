#include "platform/linux/installation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/posix_error.h"

namespace tessiva::platform {
namespace {

Result<const char*> c_path(const std::string& path) {
  if (path.find('\0') != std::string::npos) return std::unexpected(os_error(EINVAL));
  return path.c_str();
}

}  // namespace

std::optional<std::string> environment_variable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool standard_input_is_terminal() noexcept { return ::isatty(STDIN_FILENO) == 1; }

std::optional<std::string> read_standard_input_line() {
  // Byte by byte, so that nothing after the line is taken from standard input.
  std::string line;
  for (;;) {
    char c = 0;
    const ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
    if (c == '\n') return line;
    line += c;
  }
}

Result<void> make_executable(const std::string& path) {
  auto p = c_path(path);
  if (!p) return std::unexpected(p.error());
  if (::chmod(*p, 0755) != 0) return std::unexpected(last_os_error());
  return {};
}

Result<std::string> symbolic_link_target(const std::string& path) {
  auto p = c_path(path);
  if (!p) return std::unexpected(p.error());
  std::string target(256, '\0');
  for (;;) {
    const ssize_t got = ::readlink(*p, target.data(), target.size());
    if (got < 0) return std::unexpected(last_os_error());
    // A result that fills the buffer may have been cut: ask again with more room.
    if (static_cast<std::size_t>(got) < target.size()) {
      target.resize(static_cast<std::size_t>(got));
      return target;
    }
    target.resize(target.size() * 2);
  }
}

Result<void> create_symbolic_link(const std::string& target, const std::string& path) {
  auto t = c_path(target);
  if (!t) return std::unexpected(t.error());
  auto p = c_path(path);
  if (!p) return std::unexpected(p.error());
  if (::symlink(*t, *p) != 0) return std::unexpected(last_os_error());
  return {};
}

Result<int> run_and_wait(const std::string& program, const std::vector<std::string>& argv) {
  auto p = c_path(program);
  if (!p) return std::unexpected(p.error());
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return std::unexpected(last_os_error());
  if (child == 0) {
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null >= 0) ::dup2(null, STDIN_FILENO);
    ::execv(*p, args.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return std::unexpected(last_os_error());
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace tessiva::platform
