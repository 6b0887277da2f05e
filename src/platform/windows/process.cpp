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

namespace {

/// The full path of the program that `process` runs, in the Win32 form.
Result<std::wstring> image_path(HANDLE process) {
  std::wstring buffer(MAX_PATH, L'\0');
  while (true) {
    DWORD size = static_cast<DWORD>(buffer.size());
    if (QueryFullProcessImageNameW(process, 0, buffer.data(), &size)) {
      buffer.resize(size);
      return buffer;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= 32768) return std::unexpected(last_os_error());
    buffer.resize(buffer.size() * 2);
  }
}

/// Paths are compared as the file system compares names: without regard to case.
bool same_path(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

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
  if (exit_code != STILL_ACTIVE) return ProcessState::Gone;

  const auto theirs = image_path(process.get());
  const auto ours = executable_path();
  if (!theirs || !ours) return ProcessState::Unknown;
  const std::wstring our_path = widen(*ours);
  if (same_path(*theirs, our_path)) return ProcessState::Alive;
  // An update moves a running executable aside under its name with ".old" appended,
  // and Windows then reports that name for the process: still this program, whose
  // transfers must not be pulled from under it.
  if (same_path(*theirs, our_path + L".old")) return ProcessState::Alive;
  // The same file may be spelled in other ways (short names, links, another drive
  // letter for the same folder): compare the final paths.
  const auto their_name = narrow_strict(*theirs);
  if (!their_name) return ProcessState::Unknown;
  const auto their_final = canonical_path(*their_name);
  const auto our_final = canonical_path(*ours);
  if (!their_final || !our_final) return ProcessState::Unknown;
  return same_path(widen(*their_final), widen(*our_final)) ? ProcessState::Alive : ProcessState::Gone;
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

bool stdin_pending(std::chrono::milliseconds) noexcept {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE) return false;
  DWORD available = 0;
  return PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr) && available > 0;
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

void exit_process(int code) { ExitProcess(static_cast<UINT>(code)); }

// The self-check that starts the installed program runs on Linux only so far.
Result<std::string> run_with_pipes(const std::string&, const std::vector<std::string>&, std::string_view, std::size_t,
                                   int) {
  return std::unexpected(os_error(ERROR_CALL_NOT_IMPLEMENTED));
}

}  // namespace tessiva::platform
