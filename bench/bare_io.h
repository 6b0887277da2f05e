#pragma once
/// The little that the bare reference programs need from the system: raw reads and
/// writes on the standard streams, an appending file, and the entry point. Each bare
/// program defines `bare_main` and includes this header exactly once.
///
/// These programs are the yardsticks the host is measured against, so they do the
/// same system work as the host (the same calls, the same read sizes, the same
/// subsystem and entry point on Windows) and nothing else.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace bare {

/// Largest single read from standard input, the same bound the host keeps.
inline constexpr std::size_t MAX_READ = std::size_t{1} << 20;

/// The reply every bare program writes: a short success envelope.
inline constexpr char REPLY_BODY[] = R"({"id":1,"ok":true,"result":{"bare":true}})";

#ifdef _WIN32

/// Reads up to `size` bytes; 0 means end of input (a broken pipe is an end too).
inline std::size_t read_some(std::byte* data, std::size_t size) {
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(size < MAX_READ ? size : MAX_READ);
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), data, want, &got, nullptr)) return 0;
  return got;
}

inline bool write_all(const void* data, std::size_t size) {
  auto* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD put = 0;
    if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), p, static_cast<DWORD>(size), &put, nullptr) ||
        put == 0)
      return false;
    p += put;
    size -= put;
  }
  return true;
}

/// A file opened for appending; the path is taken as UTF-16 from the command line.
class AppendFile {
 public:
  explicit AppendFile(const std::wstring& path)
      : handle_(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~AppendFile() {
    if (ok()) CloseHandle(handle_);
  }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;
  [[nodiscard]] bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool append(const std::byte* data, std::size_t size) {
    while (size > 0) {
      DWORD put = 0;
      if (!WriteFile(handle_, data, static_cast<DWORD>(size), &put, nullptr) || put == 0)
        return false;
      data += put;
      size -= put;
    }
    return true;
  }

 private:
  HANDLE handle_;
};

using Arg = std::wstring;

#else

inline std::size_t read_some(std::byte* data, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(0, data, size < MAX_READ ? size : MAX_READ);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return 0;
  }
}

inline bool write_all(const void* data, std::size_t size) {
  auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t put = ::write(1, p, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    p += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

class AppendFile {
 public:
  explicit AppendFile(const std::string& path)
      : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {}
  ~AppendFile() {
    if (ok()) ::close(fd_);
  }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;
  [[nodiscard]] bool ok() const { return fd_ >= 0; }
  bool append(const std::byte* data, std::size_t size) {
    while (size > 0) {
      const ssize_t put = ::write(fd_, data, size);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      data += put;
      size -= static_cast<std::size_t>(put);
    }
    return true;
  }

 private:
  int fd_;
};

using Arg = std::string;

#endif

/// Reads exactly `size` bytes; false on an early end or an error.
inline bool read_exact(std::byte* data, std::size_t size) {
  while (size > 0) {
    const std::size_t got = read_some(data, size);
    if (got == 0) return false;
    data += got;
    size -= got;
  }
  return true;
}

enum class Frame { Read, End, Broken };

/// Reads one frame into `body` (resized to the announced length; its storage is kept
/// from frame to frame). End of input before a length prefix is `End`.
inline Frame read_frame(std::vector<std::byte>& body) {
  std::byte prefix[4];
  const std::size_t first = read_some(prefix, sizeof prefix);
  if (first == 0) return Frame::End;
  if (!read_exact(prefix + first, sizeof prefix - first)) return Frame::Broken;
  const std::uint32_t length = std::to_integer<std::uint32_t>(prefix[0]) |
                               std::to_integer<std::uint32_t>(prefix[1]) << 8 |
                               std::to_integer<std::uint32_t>(prefix[2]) << 16 |
                               std::to_integer<std::uint32_t>(prefix[3]) << 24;
  body.resize(length);
  return read_exact(body.data(), length) ? Frame::Read : Frame::Broken;
}

/// Writes the fixed reply, prefix and body in one write like the host does.
inline bool write_reply() {
  constexpr std::uint32_t length = sizeof REPLY_BODY - 1;
  char frame[4 + length];
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  std::memcpy(frame + 4, REPLY_BODY, length);
  return write_all(frame, sizeof frame);
}

}  // namespace bare

/// The program itself; `arg` is its first argument (empty when there is none).
int bare_main(const bare::Arg& arg);

#ifdef _WIN32

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_tail, int) {
  // Only the first argument matters: a quoted path or a run up to the first space.
  std::wstring arg;
  const wchar_t* p = command_tail != nullptr ? command_tail : L"";
  while (*p == L' ' || *p == L'\t') ++p;
  if (*p == L'"') {
    for (++p; *p != L'\0' && *p != L'"'; ++p) arg.push_back(*p);
  } else {
    for (; *p != L'\0' && *p != L' ' && *p != L'\t'; ++p) arg.push_back(*p);
  }
  ExitProcess(static_cast<UINT>(bare_main(arg)));
}

#else

int main(int argc, char** argv) { return bare_main(argc > 1 ? argv[1] : ""); }

#endif
