#pragma once
/// Files and folders. Paths are UTF-8; on Windows they are converted to UTF-16 and
/// handed to the W functions.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os_error.h"
#include "text/paths.h"

namespace tessiva::platform {

/// The separator that joins path components: '\' on Windows, '/' on Linux.
extern const char PATH_SEPARATOR;

/// The style of the paths of the running system.
[[nodiscard]] text::PathStyle native_path_style() noexcept;

/// What the system's limit on the length of one file name counts.
enum class NameMeasure {
  Utf16Units,  ///< Windows: 255 UTF-16 units
  Utf8Bytes,   ///< Linux: 255 bytes of the UTF-8 name
};

/// The measure of the running system's file-name limit.
[[nodiscard]] NameMeasure native_name_measure() noexcept;

/// `folder` + separator + `name` (no separator is doubled when `folder` ends in one).
[[nodiscard]] std::string join_path(std::string_view folder, std::string_view name);

struct FileAttributes {
  bool is_directory = false;
  /// Neither a folder nor a device: a plain file.
  bool is_regular = false;
  std::uint64_t size = 0;
  std::chrono::system_clock::time_point last_write;
};

/// An open file (for writing, and for reading where it was opened so). Move-only;
/// closes its handle when destroyed.
class File {
 public:
  File() noexcept = default;
  explicit File(std::intptr_t handle) noexcept : handle_(handle) {}
  File(File&& other) noexcept : handle_(other.release()) {}
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  [[nodiscard]] bool is_open() const noexcept { return handle_ != INVALID; }
  /// Writes all of `bytes` at the current position.
  [[nodiscard]] Result<void> write(std::span<const std::byte> bytes);
  [[nodiscard]] Result<void> write(std::string_view text) { return write(std::as_bytes(std::span(text))); }
  /// Cuts the file (or extends it with zeros) to `size` and moves the position there.
  [[nodiscard]] Result<void> truncate(std::uint64_t size);
  /// The file's current size.
  [[nodiscard]] Result<std::uint64_t> size() const;
  /// Flushes the file's data to the disk (`FlushFileBuffers`, `fsync`).
  [[nodiscard]] Result<void> flush_to_disk();
  /// The attributes of the open file.
  [[nodiscard]] Result<FileAttributes> attributes() const;
  /// Writes the whole contents of this file, from its start, to `target` at its position.
  /// The file must have been opened for reading (`create_owned`, `open_source`).
  [[nodiscard]] Result<void> copy_to(File& target) const;
  /// Renames this file, which `path` named until now, onto `new_path`, replacing what is
  /// there (on Linux also flushing the folder, as `rename_replace` does). Fails and
  /// renames nothing when `path` no longer names this file: something else put there is
  /// never moved. On Windows the rename goes through the handle where it was opened for
  /// that (`create_owned`), else by name.
  [[nodiscard]] Result<void> rename_to(const std::string& path, const std::string& new_path);
  /// Deletes this file, which `path` names (or a link at `path` to it: the link goes),
  /// and closes it; deletes nothing when `path` names something else by now.
  [[nodiscard]] Result<void> remove(const std::string& path);
  /// Gives the file the access that a file the user creates gets by default: on Linux
  /// mode 0666 less the process's umask (a file of `create_owned` is the user's alone
  /// until it becomes a document); nothing on Windows, where a moved file takes the
  /// access of its new folder.
  [[nodiscard]] Result<void> share_as_document();
  void close() noexcept;
  [[nodiscard]] std::intptr_t release() noexcept {
    auto h = handle_;
    handle_ = INVALID;
    return h;
  }

 private:
  static constexpr std::intptr_t INVALID = -1;
  std::intptr_t handle_ = INVALID;
};

/// Creates a new file; fails when the path exists (also as a folder or a dangling link).
/// Others may read, write and delete it while it is open.
[[nodiscard]] Result<File> create_exclusive(const std::string& path);
/// Creates a new file that this process owns while it holds it open, for reading and
/// writing: fails when anything exists at `path` (a link is never followed). On Linux
/// the file has mode 0600 and an exclusive `flock`; on Windows it is opened without
/// delete sharing, so nobody else can delete or rename it. `delete_unowned` tells such a
/// file from a leftover.
[[nodiscard]] Result<File> create_owned(const std::string& path);
/// Deletes the file `path` unless a process holds it as `create_owned` does; a link or
/// anything that is not a plain file is left alone on Linux. For sweeping up files of
/// processes that ended without deleting them.
[[nodiscard]] Result<void> delete_unowned(const std::string& path);
/// Opens an existing file for reading, following links, without waiting on what it is
/// (a FIFO or a device opens at once; `File::attributes` then tells what it is).
[[nodiscard]] Result<File> open_source(const std::string& path);
/// Creates the file or truncates an existing one.
[[nodiscard]] Result<File> create_truncate(const std::string& path);
/// Opens the file for appending, creating it when missing: every write lands whole at
/// the end of the file as it is then, also when other processes append to it at once.
/// Others may read, write, rename and delete it while it is open. On Linux it is made
/// the user's alone (mode 0600), also when it exists with a wider mode.
[[nodiscard]] Result<File> open_append(const std::string& path);

/// Reads a whole file.
[[nodiscard]] Result<std::string> read_file(const std::string& path);
/// Renames `from` to `to`, replacing `to` when it exists (`MoveFileExW` with
/// `MOVEFILE_REPLACE_EXISTING`; on Linux `rename`, then `fsync` of the folder that holds
/// `to`, so that the new name survives a power cut).
[[nodiscard]] Result<void> rename_replace(const std::string& from, const std::string& to);
/// Copies `from` onto `to`, replacing its contents.
[[nodiscard]] Result<void> copy_file(const std::string& from, const std::string& to);
[[nodiscard]] Result<void> delete_file(const std::string& path);
/// Removes the folder `path` when it is empty; fails (and keeps it) otherwise.
[[nodiscard]] Result<void> remove_empty_folder(const std::string& path);
/// Creates `path` and every missing parent folder; an existing folder is fine.
[[nodiscard]] Result<void> create_folders(const std::string& path);
/// `create_folders` for a folder of the program's own: on Linux the last
/// `private_levels` folders of `path` (those that belong to the program, never a folder
/// of the user above them) are the user's alone, mode 0700, and are made so when they
/// exist with a wider mode and belong to the user. Windows keeps the access that the
/// profile's folders give.
[[nodiscard]] Result<void> create_private_folders(const std::string& path, std::size_t private_levels);
/// True when anything at all is at `path`: a file, a folder, a special file, or a link,
/// even one whose target does not exist (the link itself is looked at).
[[nodiscard]] bool entry_exists(const std::string& path);
/// One entry of a folder listing.
struct FolderEntry {
  std::string name;
  bool is_directory = false;
};

/// The entries of the folder `path`, without "." and "..", in no particular order.
/// On Windows a name that is not valid UTF-16 is left out: no UTF-8 path could name it.
[[nodiscard]] Result<std::vector<FolderEntry>> list_folder(const std::string& path);
/// The canonical absolute form of an existing path (links resolved, `..` removed,
/// the letter case of the file system).
[[nodiscard]] Result<std::string> canonical_path(const std::string& path);


/// Attributes of `path`, following links.
[[nodiscard]] Result<FileAttributes> file_attributes(const std::string& path);

/// The bytes the current user may still write on the volume holding `path`.
[[nodiscard]] Result<std::uint64_t> free_space(const std::string& path);

/// True when `error` says that the name is already taken (what `create_exclusive`
/// fails with for an existing file or folder).
[[nodiscard]] bool is_already_exists(const OsError& error) noexcept;
/// True when `error` says that the file or a folder on its path does not exist.
[[nodiscard]] bool is_not_found(const OsError& error) noexcept;

}  // namespace tessiva::platform
