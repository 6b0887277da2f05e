#include "platform/files.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/windows/file_time.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"
#include "platform/windows/windows.h"
#include "text/paths.h"

namespace tessiva::platform {

const char PATH_SEPARATOR = '\\';

namespace {

// Reads and writes go in pieces of at most this size: one huge call gains nothing, and
// Wine was measured to handle very large single reads of pipes slowly.
constexpr DWORD MAX_IO_CHUNK = 1 << 20;

constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Without FILE_SHARE_DELETE nobody else can delete or rename the file while it is open.
constexpr DWORD SHARE_KEEP = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool is_separator(char c) { return c == '\\' || c == '/'; }

HANDLE as_handle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

Result<File> open_file(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                       DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  auto wide = wide_path(path);
  if (!wide) return std::unexpected(wide.error());
  HANDLE h = ::CreateFileW(wide->c_str(), access, share, nullptr, disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::unexpected(last_os_error());
  return File(reinterpret_cast<std::intptr_t>(h));
}

/// Opens `path` for reading its attributes only, following links; folders too.
Result<UniqueFileHandle> open_for_query(const std::string& path) {
  auto wide = wide_path(path);
  if (!wide) return std::unexpected(wide.error());
  UniqueFileHandle h(::CreateFileW(wide->c_str(), FILE_READ_ATTRIBUTES, SHARE_ALL, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h) return std::unexpected(last_os_error());
  return h;
}

Result<FileAttributes> attributes_of(HANDLE h) {
  FileAttributes result;
  if (::GetFileType(h) != FILE_TYPE_DISK) return result;  // a device or a pipe
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) return std::unexpected(last_os_error());
  result.is_directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  result.is_regular = !result.is_directory && (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
  result.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  result.last_write = to_time_point(info.ftLastWriteTime);
  return result;
}

/// `path` in the form of the system's own names ("\??\C:\..."), which a rename
/// through a handle takes whether or not the system converts a drive path itself.
std::wstring native_name(std::wstring path) {
  if (path.starts_with(L"\\\\?\\")) return L"\\??\\" + path.substr(4);
  if (path.starts_with(L"\\\\")) return L"\\??\\UNC\\" + path.substr(2);
  return L"\\??\\" + path;
}

bool is_existing_folder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

/// The parent of `path`; empty when no separator is left ("C:\", a single component).
std::string_view parent_of(std::string_view path) {
  while (!path.empty() && is_separator(path.back())) path.remove_suffix(1);
  std::string_view parent = text::parent_folder(path, text::PathStyle::Windows);
  while (!parent.empty() && is_separator(parent.back())) parent.remove_suffix(1);
  return parent;
}

}  // namespace

void File::close() noexcept {
  if (handle_ != INVALID) ::CloseHandle(as_handle(release()));
}

Result<void> File::write(std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAX_IO_CHUNK));
    DWORD written = 0;
    if (!::WriteFile(as_handle(handle_), bytes.data(), chunk, &written, nullptr)) {
      return std::unexpected(last_os_error());
    }
    // A disk file never takes nothing without an error; stop rather than spin.
    if (written == 0) return std::unexpected(os_error(ERROR_WRITE_FAULT));
    bytes = bytes.subspan(written);
  }
  return {};
}

Result<void> File::truncate(std::uint64_t size) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFilePointerEx(as_handle(handle_), position, nullptr, FILE_BEGIN)) return std::unexpected(last_os_error());
  if (!::SetEndOfFile(as_handle(handle_))) return std::unexpected(last_os_error());
  return {};
}

Result<void> File::flush_to_disk() {
  if (!::FlushFileBuffers(as_handle(handle_))) return std::unexpected(last_os_error());
  return {};
}

Result<File> create_exclusive(const std::string& path) {
  return open_file(path, GENERIC_WRITE, SHARE_ALL, CREATE_NEW);
}

Result<File> create_owned(const std::string& path) {
  // CREATE_NEW fails on any existing name, a link included, and creates nothing
  // where a link points. DELETE access lets the file be renamed and deleted through
  // its handle, the only way while nobody shares deletion.
  return open_file(path, GENERIC_READ | GENERIC_WRITE | DELETE, SHARE_KEEP, CREATE_NEW);
}

Result<void> delete_unowned(const std::string& path) {
  // Fails with a sharing violation while an owner holds the file.
  return delete_file(path);
}

Result<File> open_source(const std::string& path) {
  // Backup semantics open a folder too, so that what it is can be told afterwards.
  auto file = open_file(path, GENERIC_READ | DELETE, SHARE_ALL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (file) return file;
  // A file that may not be deleted through this handle is still moved by name later.
  return open_file(path, GENERIC_READ, SHARE_ALL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
}

Result<FileAttributes> File::attributes() const {
  if (!is_open()) return std::unexpected(os_error(ERROR_INVALID_HANDLE));
  return attributes_of(as_handle(handle_));
}

Result<void> File::copy_to(File& target) const {
  // An unset File holds -1, which Windows takes for the process itself.
  if (!is_open()) return std::unexpected(os_error(ERROR_INVALID_HANDLE));
  std::string buffer(1 << 16, '\0');
  for (std::uint64_t at = 0;;) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    if (!::ReadFile(as_handle(handle_), buffer.data(), static_cast<DWORD>(buffer.size()), &got, &where)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) return {};
      return std::unexpected(last_os_error());
    }
    if (got == 0) return {};
    if (auto w = target.write(std::string_view(buffer.data(), got)); !w) return w;
    at += got;
  }
}

Result<void> File::rename_to(const std::string& path, const std::string& new_path) {
  // An unset File holds -1, which Windows takes for the process itself.
  if (!is_open()) return std::unexpected(os_error(ERROR_INVALID_HANDLE));
  auto wide_to = wide_path(new_path);
  if (!wide_to) return std::unexpected(wide_to.error());
  const std::wstring name = native_name(std::move(*wide_to));
  const std::size_t name_bytes = name.size() * sizeof(wchar_t);
  std::string block(offsetof(FILE_RENAME_INFO, FileName) + name_bytes + sizeof(wchar_t), '\0');
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  std::memcpy(info->FileName, name.data(), name_bytes);
  if (::SetFileInformationByHandle(as_handle(handle_), FileRenameInfo, info, static_cast<DWORD>(block.size())))
    return {};
  // A handle without DELETE access (a source that its owner shares for reading only)
  // is moved by name, as nobody holds it without sharing deletion but its owner.
  if (::GetLastError() != ERROR_ACCESS_DENIED) return std::unexpected(last_os_error());
  return rename_replace(path, new_path);
}

Result<void> File::remove(const std::string& path) {
  // An unset File holds -1, which Windows takes for the process itself.
  if (!is_open()) return std::unexpected(os_error(ERROR_INVALID_HANDLE));
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  // The file goes when its last handle closes, below.
  const bool marked =
      ::SetFileInformationByHandle(as_handle(handle_), FileDispositionInfo, &disposition, sizeof disposition);
  const DWORD error = ::GetLastError();
  close();
  if (marked) return {};
  if (error != ERROR_ACCESS_DENIED) return std::unexpected(os_error(error));
  return delete_file(path);
}

Result<void> File::share_as_document() { return {}; }

Result<File> create_truncate(const std::string& path) {
  return open_file(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_ALWAYS);
}

Result<File> open_append(const std::string& path) {
  // FILE_APPEND_DATA without FILE_WRITE_DATA: the system puts every write at the end.
  return open_file(path, FILE_APPEND_DATA | SYNCHRONIZE, SHARE_ALL, OPEN_ALWAYS);
}

Result<std::uint64_t> File::size() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(as_handle(handle_), &size)) return std::unexpected(last_os_error());
  return static_cast<std::uint64_t>(std::max<LONGLONG>(size.QuadPart, 0));
}

Result<std::string> read_file(const std::string& path) {
  auto wide = wide_path(path);
  if (!wide) return std::unexpected(wide.error());
  UniqueFileHandle h(
      ::CreateFileW(wide->c_str(), GENERIC_READ, SHARE_ALL, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return std::unexpected(last_os_error());

  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(h.get(), &size)) return std::unexpected(last_os_error());
  std::string data;
  // The size is a hint only: the file may grow or shrink while it is read.
  data.resize(static_cast<std::size_t>(std::max<LONGLONG>(size.QuadPart, 0)));
  std::size_t used = 0;
  char spare[4096];
  for (;;) {
    const bool into_spare = used == data.size();
    char* target = into_spare ? spare : data.data() + used;
    const DWORD want = into_spare ? DWORD{sizeof spare}
                                  : static_cast<DWORD>(std::min<std::size_t>(data.size() - used, MAX_IO_CHUNK));
    DWORD got = 0;
    if (!::ReadFile(h.get(), target, want, &got, nullptr)) return std::unexpected(last_os_error());
    if (got == 0) break;
    if (into_spare) data.append(spare, got);
    used += got;
  }
  data.resize(used);
  return data;
}

Result<void> rename_replace(const std::string& from, const std::string& to) {
  auto wide_from = wide_path(from);
  if (!wide_from) return std::unexpected(wide_from.error());
  auto wide_to = wide_path(to);
  if (!wide_to) return std::unexpected(wide_to.error());
  if (!::MoveFileExW(wide_from->c_str(), wide_to->c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return std::unexpected(last_os_error());
  }
  return {};
}

Result<void> copy_file(const std::string& from, const std::string& to) {
  auto wide_from = wide_path(from);
  if (!wide_from) return std::unexpected(wide_from.error());
  auto wide_to = wide_path(to);
  if (!wide_to) return std::unexpected(wide_to.error());
  if (!::CopyFileW(wide_from->c_str(), wide_to->c_str(), FALSE)) return std::unexpected(last_os_error());
  return {};
}

Result<void> remove_empty_folder(const std::string& path) {
  if (!RemoveDirectoryW(widen(path).c_str())) return std::unexpected(last_os_error());
  return {};
}

Result<void> delete_file(const std::string& path) {
  auto wide = wide_path(path);
  if (!wide) return std::unexpected(wide.error());
  if (!::DeleteFileW(wide->c_str())) return std::unexpected(last_os_error());
  return {};
}

Result<void> create_folders(const std::string& path) {
  auto wide = wide_path(path);
  if (!wide) return std::unexpected(wide.error());
  if (::CreateDirectoryW(wide->c_str(), nullptr)) return {};
  const DWORD error = ::GetLastError();
  // An existing folder is success; "C:\" itself gives access denied, not "exists".
  if (is_existing_folder(*wide)) return {};
  if (error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND) return std::unexpected(os_error(error));
  const std::string_view parent = parent_of(path);
  if (parent.empty() || parent.size() >= path.size()) return std::unexpected(os_error(error));
  if (auto made = create_folders(std::string(parent)); !made) return made;
  if (::CreateDirectoryW(wide->c_str(), nullptr) || is_existing_folder(*wide)) return {};
  return std::unexpected(last_os_error());
}

Result<void> create_private_folders(const std::string& path, std::size_t) { return create_folders(path); }

Result<std::vector<FolderEntry>> list_folder(const std::string& path) {
  auto wide = wide_path(join_path(path, "*"));
  if (!wide) return std::unexpected(wide.error());
  WIN32_FIND_DATAW found;
  UniqueFindHandle search(
      ::FindFirstFileExW(wide->c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
  std::vector<FolderEntry> entries;
  if (!search) {
    // An empty folder still has "." and ".."; only a drive root can have nothing.
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return entries;
    return std::unexpected(last_os_error());
  }
  do {
    const std::wstring_view name(found.cFileName);
    if (name == L"." || name == L"..") continue;
    auto utf8 = narrow_strict(name);
    if (!utf8) continue;
    entries.push_back({std::move(*utf8), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (::FindNextFileW(search.get(), &found));
  if (::GetLastError() != ERROR_NO_MORE_FILES) return std::unexpected(last_os_error());
  return entries;
}

Result<std::string> canonical_path(const std::string& path) {
  auto h = open_for_query(path);
  if (!h) return std::unexpected(h.error());
  constexpr DWORD FLAGS = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  constexpr std::size_t LONGEST_PATH = 32768;
  // A buffer that is too small gives the size needed (with the terminator); Wine fails
  // with ERROR_MORE_DATA instead, and then the buffer is doubled.
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD length;
  for (;;) {
    length = ::GetFinalPathNameByHandleW(h->get(), buffer.data(), static_cast<DWORD>(buffer.size()), FLAGS);
    if (length != 0 && length < buffer.size()) break;
    if (length == 0 && ::GetLastError() != ERROR_MORE_DATA) return std::unexpected(last_os_error());
    if (buffer.size() >= LONGEST_PATH) return std::unexpected(os_error(ERROR_FILENAME_EXCED_RANGE));
    buffer.assign(std::max<std::size_t>(length, buffer.size() * 2), L'\0');
  }
  std::wstring_view final_path(buffer.data(), length);

  // The result always has the "\\?\" form. Ordinary drive and network paths are given
  // back in their usual spelling; anything else (a volume GUID path) stays verbatim.
  std::wstring plain;
  if (final_path.starts_with(L"\\\\?\\UNC\\")) {
    plain = L"\\\\" + std::wstring(final_path.substr(8));
  } else if (final_path.size() >= 6 && final_path.starts_with(L"\\\\?\\") && final_path[5] == L':' &&
             (final_path.size() == 6 || final_path[6] == L'\\')) {
    plain = final_path.substr(4);
  } else {
    plain = final_path;
  }
  auto utf8 = narrow_strict(plain);
  if (!utf8) return std::unexpected(os_error(ERROR_NO_UNICODE_TRANSLATION));
  return std::move(*utf8);
}

Result<FileAttributes> file_attributes(const std::string& path) {
  auto h = open_for_query(path);
  if (!h) return std::unexpected(h.error());
  return attributes_of(h->get());
}

bool entry_exists(const std::string& path) {
  auto wide = wide_path(path);
  // The attributes of a link are its own, whether or not its target exists.
  return wide && ::GetFileAttributesW(wide->c_str()) != INVALID_FILE_ATTRIBUTES;
}

Result<std::uint64_t> free_space(const std::string& path) {
  auto wide = wide_path(path);
  if (!wide) return std::unexpected(wide.error());
  ULARGE_INTEGER available;
  if (!::GetDiskFreeSpaceExW(wide->c_str(), &available, nullptr, nullptr)) return std::unexpected(last_os_error());
  return static_cast<std::uint64_t>(available.QuadPart);
}

bool is_already_exists(const OsError& error) noexcept {
  return error.code == ERROR_FILE_EXISTS || error.code == ERROR_ALREADY_EXISTS;
}

bool is_not_found(const OsError& error) noexcept {
  return error.code == ERROR_FILE_NOT_FOUND || error.code == ERROR_PATH_NOT_FOUND;
}

}  // namespace tessiva::platform
