#include "platform/process.h"

#include <algorithm>
#include <limits>

#include "platform/files.h"
#include "platform/windows/system_values.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"
#include "platform/windows/windows.h"
#include "text/command_line.h"
#include "text/quote.h"
#include "text/utf.h"

namespace tessiva::platform {

const std::string_view PLATFORM_NAME = "windows";
const bool STRICT_OPTIONS = false;

std::vector<std::string> arguments() {
  const wchar_t* line = GetCommandLineW();
  if (line == nullptr) return {};
  return text::split_windows_command_line_utf8(reinterpret_cast<const char16_t*>(line));
}

Result<std::string> executable_path() {
  // GetModuleFileNameW truncates silently when the buffer is too small: retry with a
  // larger one until the result is shorter than the buffer.
  std::wstring buffer(MAX_PATH, L'\0');
  while (true) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::unexpected(last_os_error());
    if (n < buffer.size()) {
      buffer.resize(n);
      return narrow(buffer);
    }
    if (buffer.size() >= 32768) return std::unexpected(os_error(ERROR_INSUFFICIENT_BUFFER));
    buffer.resize(buffer.size() * 2);
  }
}

std::uint32_t process_id() noexcept { return GetCurrentProcessId(); }

ProcessState process_state(std::uint32_t id) {
  if (id == GetCurrentProcessId()) return ProcessState::Alive;
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  if (!process) {
    // An id that no process has is an invalid parameter; any other failure (access
    // denied, for one) leaves the question open.
    return GetLastError() == ERROR_INVALID_PARAMETER ? ProcessState::Gone : ProcessState::Unknown;
  }
  // An ended process can still be opened while anyone holds a handle to it.
  DWORD exit_code = 0;
  if (!GetExitCodeProcess(process.get(), &exit_code)) return ProcessState::Unknown;
  return exit_code == STILL_ACTIVE ? ProcessState::Alive : ProcessState::Gone;
}

Result<std::size_t> read_stdin(std::span<std::byte> buffer) {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE) return std::unexpected(os_error(ERROR_INVALID_HANDLE));
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), std::numeric_limits<DWORD>::max()));
  if (!ReadFile(in, buffer.data(), want, &got, nullptr)) {
    const DWORD e = GetLastError();
    // The writer closing its end of the pipe is how the input ends.
    if (e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF) return 0;
    return std::unexpected(os_error(e));
  }
  return got;
}

Result<void> write_stdout(std::span<const std::byte> bytes) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return std::unexpected(os_error(ERROR_INVALID_HANDLE));
  while (!bytes.empty()) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(out, bytes.data(), want, &put, nullptr)) return std::unexpected(last_os_error());
    bytes = bytes.subspan(put);
  }
  return {};
}

Result<void> spawn_detached(const std::string& program, const std::vector<std::string>& arguments,
                            CreationOptions options) {
  const std::wstring wide_program = widen(program);
  std::u16string line;
  text::append_quoted_argument(line, text::utf8_to_utf16_lossy(program));
  for (const auto& a : arguments) text::append_quoted_argument(line, text::utf8_to_utf16_lossy(a));
  std::wstring mutable_line(reinterpret_cast<const wchar_t*>(line.c_str()));

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(wide_program.c_str(), mutable_line.data(), nullptr, nullptr, FALSE, creation_flags(options),
                      nullptr, nullptr, &startup, &info))
    return std::unexpected(last_os_error());
  // Never waited for: both handles go at once.
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return {};
}

Result<void> spawn_self_detached(const std::vector<std::string>& arguments, CreationOptions options) {
  const auto path = executable_path();
  if (!path) return std::unexpected(path.error());
  return spawn_detached(*path, arguments, options);
}

void exit_process(int code) { ExitProcess(static_cast<UINT>(code)); }

Result<std::string> run_with_pipes(const std::string& program, const std::vector<std::string>& argv,
                                   std::string_view input, std::size_t limit, int timeout_ms) {
  SECURITY_ATTRIBUTES inheritable{};
  inheritable.nLength = sizeof inheritable;
  inheritable.bInheritHandle = TRUE;
  // The input is small (one request): a pipe whose buffer takes it whole gets it before
  // the program starts, and a program that never reads it cannot make the caller wait.
  UniqueHandle child_input;
  UniqueHandle to_child;
  if (!CreatePipe(child_input.put(), to_child.put(), &inheritable, static_cast<DWORD>(input.size() + 4096)))
    return std::unexpected(last_os_error());
  UniqueHandle from_child;
  UniqueHandle child_output;
  if (!CreatePipe(from_child.put(), child_output.put(), &inheritable, 0)) return std::unexpected(last_os_error());
  // Only the child's ends are inherited.
  SetHandleInformation(to_child.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(from_child.get(), HANDLE_FLAG_INHERIT, 0);
  while (!input.empty()) {
    DWORD put = 0;
    if (!WriteFile(to_child.get(), input.data(), static_cast<DWORD>(input.size()), &put, nullptr) || put == 0) break;
    input.remove_prefix(put);
  }
  to_child.reset();

  // Standard error stays the caller's: an inheritable copy of it, when it has one.
  UniqueHandle child_error;
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error != nullptr && error != INVALID_HANDLE_VALUE)
    DuplicateHandle(GetCurrentProcess(), error, GetCurrentProcess(), child_error.put(), 0, TRUE, DUPLICATE_SAME_ACCESS);

  std::u16string line;
  for (const auto& a : argv) text::append_quoted_argument(line, text::utf8_to_utf16_lossy(a));
  std::wstring mutable_line(reinterpret_cast<const wchar_t*>(line.c_str()));
  const std::wstring wide_program = widen(program);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_input.get();
  startup.hStdOutput = child_output.get();
  startup.hStdError = child_error.get();
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(wide_program.c_str(), mutable_line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &info))
    return std::unexpected(last_os_error());
  CloseHandle(info.hThread);
  const UniqueHandle process(info.hProcess);
  // The child holds its ends now; ours would keep its output open past its exit.
  child_input.reset();
  child_output.reset();
  child_error.reset();

  // An anonymous pipe cannot be waited on: it is looked into between short waits for
  // the program's end, until it closes its output, the limit or the deadline.
  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (output.size() < limit) {
    DWORD available = 0;
    if (!PeekNamedPipe(from_child.get(), nullptr, 0, nullptr, &available, nullptr)) break;
    if (available == 0) {
      if (std::chrono::steady_clock::now() >= deadline) break;
      // A program that has ended while something it started holds its output still
      // gets its time, without the loop spinning.
      if (WaitForSingleObject(process.get(), 5) == WAIT_OBJECT_0) Sleep(5);
      continue;
    }
    char buffer[4096];
    DWORD got = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>({sizeof buffer, available, limit - output.size()}));
    if (!ReadFile(from_child.get(), buffer, want, &got, nullptr) || got == 0) break;
    output.append(buffer, got);
  }
  // Ended already, or ended now.
  if (WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 2000);
  }
  return output;
}

}  // namespace tessiva::platform
