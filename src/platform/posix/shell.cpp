#include "platform/shell.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace tessiva::platform {
namespace {

OsError errno_error(int code) { return OsError{static_cast<std::uint32_t>(code), std::strerror(code)}; }

bool is_blank_char(char c) { return c == ' ' || c == '\t'; }

/// Splits a command line by the Windows rules: the program path ends at the first space
/// or tab outside quotes (quotes in it only group); after it, quotes toggle, "" inside
/// quotes is a quote, 2n backslashes before a quote give n and the quote delimits,
/// 2n+1 give n and a literal quote, other backslashes are literal.
std::vector<std::string> split_windows_command_line(std::string_view line) {
  std::vector<std::string> args;
  std::size_t i = 0;
  {
    std::string program;
    bool quoted = false;
    for (; i < line.size() && (quoted || !is_blank_char(line[i])); ++i) {
      if (line[i] == '"')
        quoted = !quoted;
      else
        program += line[i];
    }
    args.push_back(std::move(program));
  }
  while (true) {
    while (i < line.size() && is_blank_char(line[i])) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    for (; i < line.size() && (quoted || !is_blank_char(line[i]));) {
      if (line[i] == '\\') {
        std::size_t backslashes = 0;
        while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
        if (i < line.size() && line[i] == '"') {
          arg.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(backslashes, '\\');
        }
        continue;
      }
      if (line[i] == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg += line[i++];
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::string parent_folder(const std::string& path) {
  const auto at = path.find_last_of('/');
  if (at == std::string::npos) return {};
  return at == 0 ? std::string("/") : path.substr(0, at);
}

}  // namespace

Result<void> start_application(const std::string& program, const std::string& command_line) {
  const std::vector<std::string> args = split_windows_command_line(command_line);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const std::string folder = parent_folder(program);

  // Double fork, so that the application is adopted by init and nobody has to wait for
  // it; a close-on-exec pipe carries a failure of chdir or exec back.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return std::unexpected(errno_error(errno));
  const pid_t child = fork();
  if (child < 0) {
    const int e = errno;
    close(report[0]);
    close(report[1]);
    return std::unexpected(errno_error(e));
  }
  if (child == 0) {
    setpgid(0, 0);
    const pid_t grandchild = fork();
    if (grandchild == 0) {
      if (folder.empty() || chdir(folder.c_str()) == 0) execv(program.c_str(), argv.data());
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
  if (got == sizeof start_error) return std::unexpected(errno_error(start_error));
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::unexpected(errno_error(EAGAIN));
  return {};
}

Result<void> invoke_handler(std::string_view, std::string_view, const std::string&) {
  return std::unexpected(errno_error(ENOSYS));
}

Result<void> reveal_in_explorer(const std::string&) { return std::unexpected(errno_error(ENOSYS)); }

}  // namespace tessiva::platform
