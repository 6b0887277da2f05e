#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>

#include "platform/linux/posix_error.h"
#include "text/paths.h"

namespace tessiva::platform {

const char PATH_SEPARATOR = '/';

namespace {

constexpr std::size_t MAX_IO_CHUNK = 1 << 20;

/// A descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) noexcept : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  [[nodiscard]] int get() const noexcept { return fd_; }

 private:
  int fd_;
};

/// A path with an embedded NUL would be cut short by the system; refuse it instead.
Result<const char*> c_path(const std::string& path) {
  if (path.find('\0') != std::string::npos) return std::unexpected(os_error(EINVAL));
  return path.c_str();
}

Result<int> open_path(const std::string& path, int flags, mode_t mode = 0666) {
  auto p = c_path(path);
  if (!p) return std::unexpected(p.error());
  int fd;
  do fd = ::open(*p, flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::unexpected(last_os_error());
  return fd;
}

Result<File> open_file(const std::string& path, int flags) {
  auto fd = open_path(path, flags);
  if (!fd) return std::unexpected(fd.error());
  return File(*fd);
}

Result<void> write_all(int fd, std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), std::min(bytes.size(), MAX_IO_CHUNK));
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(last_os_error());
    }
    if (n == 0) return std::unexpected(os_error(EIO));
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return {};
}

/// Reads into `buffer`; 0 at the end of the file.
Result<std::size_t> read_some(int fd, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, std::min(size, MAX_IO_CHUNK));
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return std::unexpected(last_os_error());
  }
}

FileAttributes attributes_of(const struct stat& st) {
  FileAttributes result;
  result.is_directory = S_ISDIR(st.st_mode);
  result.is_regular = S_ISREG(st.st_mode);
  result.size = static_cast<std::uint64_t>(st.st_size);
  result.last_write = std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
      std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
  return result;
}

enum class FollowLink { No, Yes };

/// Whether `path` itself, or with `FollowLink::Yes` a link's target, is the file open
/// as `fd`.
Result<void> names_open_file(const std::string& path, int fd, FollowLink follow = FollowLink::No) {
  auto p = c_path(path);
  if (!p) return std::unexpected(p.error());
  struct stat named, held;
  if ((follow == FollowLink::Yes ? ::stat(*p, &named) : ::lstat(*p, &named)) != 0) return std::unexpected(last_os_error());
  if (::fstat(fd, &held) != 0) return std::unexpected(last_os_error());
  // Something else now has the name: moving or deleting it would touch what is not ours.
  if (named.st_dev != held.st_dev || named.st_ino != held.st_ino) return std::unexpected(os_error(ESTALE));
  return {};
}

/// The process's umask, read once without changing it (umask() would, for a moment
/// that other threads creating files could see). 022 when the system does not say.
mode_t current_umask() {
  static const mode_t mask = [] {
    const auto status = read_file("/proc/self/status");
    if (status) {
      const auto at = status->find("\nUmask:");
      if (at != std::string::npos) {
        mode_t value = 0;
        std::size_t i = at + 7;
        while (i < status->size() && ((*status)[i] == ' ' || (*status)[i] == '\t')) ++i;
        bool any = false;
        for (; i < status->size() && (*status)[i] >= '0' && (*status)[i] <= '7'; ++i, any = true)
          value = static_cast<mode_t>(value * 8 + static_cast<mode_t>((*status)[i] - '0'));
        if (any) return static_cast<mode_t>(value & 0777);
      }
    }
    return static_cast<mode_t>(022);
  }();
  return mask;
}

/// Makes the existing folder `path` the user's alone when it is the user's folder.
void make_folder_private(const char* path) {
  int fd;
  do fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return;
  Descriptor folder(fd);
  struct stat st;
  if (::fstat(folder.get(), &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 077) == 0) return;
  (void)::fchmod(folder.get(), st.st_mode & 0700);
}

bool is_existing_folder(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string_view parent_of(std::string_view path) {
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  const auto cut = path.rfind('/');
  if (cut == std::string_view::npos) return {};
  std::string_view parent = path.substr(0, cut);
  while (parent.size() > 1 && parent.back() == '/') parent.remove_suffix(1);
  return parent;
}

}  // namespace

void File::close() noexcept {
  if (handle_ != INVALID) ::close(static_cast<int>(release()));
}

Result<void> File::write(std::span<const std::byte> bytes) { return write_all(static_cast<int>(handle_), bytes); }

Result<void> File::truncate(std::uint64_t size) {
  const int fd = static_cast<int>(handle_);
  if (size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return std::unexpected(os_error(EFBIG));
  if (::ftruncate(fd, static_cast<off_t>(size)) != 0) return std::unexpected(last_os_error());
  if (::lseek(fd, static_cast<off_t>(size), SEEK_SET) < 0) return std::unexpected(last_os_error());
  return {};
}

Result<void> File::flush_to_disk() {
  if (::fsync(static_cast<int>(handle_)) != 0) return std::unexpected(last_os_error());
  return {};
}

Result<File> create_exclusive(const std::string& path) { return open_file(path, O_WRONLY | O_CREAT | O_EXCL); }

Result<File> create_truncate(const std::string& path) { return open_file(path, O_WRONLY | O_CREAT | O_TRUNC); }

Result<File> create_owned(const std::string& path) {
  auto fd = open_path(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (!fd) return std::unexpected(fd.error());
  File file(*fd);
  // The mode asked for loses what the umask takes away; the file is the user's alone.
  (void)::fchmod(*fd, 0600);
  // A file system without locks still gives a working file; only the sweep of another
  // host is then the pid test alone.
  (void)::flock(*fd, LOCK_EX | LOCK_NB);
  return file;
}

Result<void> delete_unowned(const std::string& path) {
  // O_NONBLOCK: a FIFO put there opens at once instead of waiting for a writer.
  auto fd = open_path(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  if (!fd) return std::unexpected(fd.error());
  Descriptor held(*fd);
  struct stat st;
  if (::fstat(held.get(), &st) != 0) return std::unexpected(last_os_error());
  if (!S_ISREG(st.st_mode)) return std::unexpected(os_error(EINVAL));
  // The lock of a live owner makes this fail; while it is held here no owner has it,
  // and the name is checked to still be the file that is locked.
  if (::flock(held.get(), LOCK_EX | LOCK_NB) != 0) return std::unexpected(last_os_error());
  if (auto same = names_open_file(path, held.get()); !same) return same;
  return delete_file(path);
}

Result<File> open_source(const std::string& path) {
  auto fd = open_path(path, O_RDONLY | O_NONBLOCK);
  // A file that may not be read may still be moved (by its folder's permission): it is
  // held for its identity only, and a copy of it fails as it would by name.
  if (!fd && (fd.error().code == EACCES || fd.error().code == EPERM)) fd = open_path(path, O_PATH);
  if (!fd) return std::unexpected(fd.error());
  File file(*fd);
  // Reads of a regular file never wait anyway; nothing else is read.
  const int flags = ::fcntl(*fd, F_GETFL);
  if (flags >= 0 && (flags & O_NONBLOCK)) (void)::fcntl(*fd, F_SETFL, flags & ~O_NONBLOCK);
  return file;
}

Result<File> open_append(const std::string& path) {
  auto fd = open_path(path, O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (!fd) return std::unexpected(fd.error());
  File file(*fd);
  // An older version created the log with the umask's mode.
  (void)::fchmod(*fd, 0600);
  return file;
}

Result<FileAttributes> File::attributes() const {
  struct stat st;
  if (::fstat(static_cast<int>(handle_), &st) != 0) return std::unexpected(last_os_error());
  return attributes_of(st);
}

Result<void> File::copy_to(File& target) const {
  const int fd = static_cast<int>(handle_);
  auto buffer = std::make_unique<char[]>(1 << 16);
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buffer.get(), 1 << 16, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      // A file held without read access (see `open_source`) could not be opened for it.
      const int flags = ::fcntl(fd, F_GETFL);
      if (errno == EBADF && flags >= 0 && (flags & O_PATH)) return std::unexpected(os_error(EACCES));
      return std::unexpected(last_os_error());
    }
    if (n == 0) return {};
    if (auto w = write_all(static_cast<int>(target.handle_), std::as_bytes(std::span(buffer.get(), static_cast<std::size_t>(n)))); !w)
      return w;
    at += n;
  }
}

Result<void> File::rename_to(const std::string& path, const std::string& new_path) {
  if (auto same = names_open_file(path, static_cast<int>(handle_)); !same) return same;
  return rename_replace(path, new_path);
}

Result<void> File::remove(const std::string& path) {
  auto same = names_open_file(path, static_cast<int>(handle_), FollowLink::Yes);
  if (same) same = delete_file(path);
  close();
  return same;
}

Result<void> File::share_as_document() {
  if (::fchmod(static_cast<int>(handle_), 0666 & ~current_umask()) != 0) return std::unexpected(last_os_error());
  return {};
}

Result<std::uint64_t> File::size() const {
  struct stat st;
  if (::fstat(static_cast<int>(handle_), &st) != 0) return std::unexpected(last_os_error());
  return static_cast<std::uint64_t>(st.st_size);
}

Result<std::string> read_file(const std::string& path) {
  auto fd = open_path(path, O_RDONLY);
  if (!fd) return std::unexpected(fd.error());
  Descriptor d(*fd);
  struct stat st;
  if (::fstat(d.get(), &st) != 0) return std::unexpected(last_os_error());
  std::string data;
  // The size is a hint only: the file may grow or shrink while it is read.
  data.resize(S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) : 0);
  std::size_t used = 0;
  char spare[4096];
  for (;;) {
    const bool into_spare = used == data.size();
    auto got = into_spare ? read_some(d.get(), spare, sizeof spare)
                          : read_some(d.get(), data.data() + used, data.size() - used);
    if (!got) return std::unexpected(got.error());
    if (*got == 0) break;
    if (into_spare) data.append(spare, *got);
    used += *got;
  }
  data.resize(used);
  return data;
}

Result<void> rename_replace(const std::string& from, const std::string& to) {
  auto f = c_path(from);
  if (!f) return std::unexpected(f.error());
  auto t = c_path(to);
  if (!t) return std::unexpected(t.error());
  if (::rename(*f, *t) != 0) return std::unexpected(last_os_error());
  // The new name is only durable once the folder that holds it reaches the disk. A
  // file system that cannot flush a folder (EINVAL) gives no more than it has.
  const std::string_view parent = text::parent_folder(to, text::PathStyle::Posix);
  const std::string folder = parent.empty() ? std::string(".") : std::string(parent);
  auto fd = open_path(folder, O_RDONLY | O_DIRECTORY);
  if (!fd) return {};
  Descriptor held(*fd);
  if (::fsync(held.get()) != 0 && errno != EINVAL && errno != EROFS) return std::unexpected(last_os_error());
  return {};
}

Result<void> copy_file(const std::string& from, const std::string& to) {
  auto in = open_path(from, O_RDONLY);
  if (!in) return std::unexpected(in.error());
  Descriptor source(*in);
  auto out = open_path(to, O_WRONLY | O_CREAT | O_TRUNC);
  if (!out) return std::unexpected(out.error());
  Descriptor target(*out);
  auto buffer = std::make_unique<char[]>(1 << 16);
  for (;;) {
    auto got = read_some(source.get(), buffer.get(), 1 << 16);
    if (!got) return std::unexpected(got.error());
    if (*got == 0) break;
    if (auto w = write_all(target.get(), std::as_bytes(std::span(buffer.get(), *got))); !w) return w;
  }
  return {};
}

Result<void> delete_file(const std::string& path) {
  auto p = c_path(path);
  if (!p) return std::unexpected(p.error());
  if (::unlink(*p) != 0) return std::unexpected(last_os_error());
  return {};
}

Result<void> remove_empty_folder(const std::string& path) {
  auto p = c_path(path);
  if (!p) return std::unexpected(p.error());
  if (::rmdir(*p) != 0) return std::unexpected(last_os_error());
  return {};
}

Result<void> create_private_folders(const std::string& path, std::size_t private_levels) {
  auto p = c_path(path);
  if (!p) return std::unexpected(p.error());
  // The private folders are created 0700 at once, so that nobody else ever opens them.
  const mode_t mode = private_levels > 0 ? 0700 : 0777;
  const auto made = [&]() -> Result<void> {
    if (private_levels > 0) make_folder_private(*p);
    return {};
  };
  if (::mkdir(*p, mode) == 0) return {};
  const int error = errno;
  if (is_existing_folder(*p)) return made();
  if (error != ENOENT) return std::unexpected(os_error(error));
  const std::string_view parent = parent_of(path);
  if (parent.empty() || parent.size() >= path.size()) return std::unexpected(os_error(error));
  if (auto parents = create_private_folders(std::string(parent), private_levels > 0 ? private_levels - 1 : 0); !parents)
    return parents;
  if (::mkdir(*p, mode) == 0) return {};
  if (is_existing_folder(*p)) return made();
  return std::unexpected(last_os_error());
}

Result<void> create_folders(const std::string& path) { return create_private_folders(path, 0); }

Result<std::vector<FolderEntry>> list_folder(const std::string& path) {
  auto p = c_path(path);
  if (!p) return std::unexpected(p.error());
  struct CloseFolder {
    void operator()(DIR* d) const noexcept { ::closedir(d); }
  };
  std::unique_ptr<DIR, CloseFolder> folder(::opendir(*p));
  if (!folder) return std::unexpected(last_os_error());
  std::vector<FolderEntry> entries;
  for (;;) {
    // readdir tells the end from a failure only through errno.
    errno = 0;
    const dirent* entry = ::readdir(folder.get());
    if (entry == nullptr) {
      if (errno != 0) return std::unexpected(last_os_error());
      return entries;
    }
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    bool is_directory = entry->d_type == DT_DIR;
    // Some file systems do not give the type in the listing.
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st;
      is_directory =
          ::fstatat(::dirfd(folder.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    entries.push_back({std::string(name), is_directory});
  }
}

Result<std::string> canonical_path(const std::string& path) {
  auto p = c_path(path);
  if (!p) return std::unexpected(p.error());
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(*p, nullptr), &std::free);
  if (!resolved) return std::unexpected(last_os_error());
  return std::string(resolved.get());
}

Result<FileAttributes> file_attributes(const std::string& path) {
  auto p = c_path(path);
  if (!p) return std::unexpected(p.error());
  struct stat st;
  if (::stat(*p, &st) != 0) return std::unexpected(last_os_error());
  return attributes_of(st);
}

bool entry_exists(const std::string& path) {
  auto p = c_path(path);
  struct stat st;
  return p && ::lstat(*p, &st) == 0;
}

Result<std::uint64_t> free_space(const std::string& path) {
  auto p = c_path(path);
  if (!p) return std::unexpected(p.error());
  struct statvfs st;
  if (::statvfs(*p, &st) != 0) return std::unexpected(last_os_error());
  return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

bool is_already_exists(const OsError& error) noexcept { return error.code == EEXIST; }

bool is_not_found(const OsError& error) noexcept { return error.code == ENOENT || error.code == ENOTDIR; }

}  // namespace tessiva::platform
