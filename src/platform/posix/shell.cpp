#include "platform/shell.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "platform/posix/posix_error.h"
#include "platform/posix/posix_process.h"

namespace tessiva::platform {
namespace {

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
  return start_detached(program, split_windows_command_line(command_line),
                        {.new_session = false, .null_streams = false, .folder = parent_folder(program)});
}

Result<void> invoke_handler(std::string_view, std::string_view, const std::string&) {
  return std::unexpected(os_error(ENOSYS));
}

Result<void> reveal_in_explorer(const std::string&) { return std::unexpected(os_error(ENOSYS)); }

}  // namespace tessiva::platform
