#pragma once
/// Chunked transfers: a file whose bytes arrive as base64 chunks, written straight to a
/// partial file and handed to save-and-open when the last byte is in.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "codec/base64.h"
#include "messages/host_error.h"
#include "messages/request.h"
#include "open/save_and_open.h"
#include "platform/files.h"

namespace tessiva::transfers {

/// The largest declared size accepted (4 GiB; exactly this is accepted).
inline constexpr std::uint64_t MAX_TRANSFER_SIZE = std::uint64_t{4} << 30;
/// How many transfers may be open at once.
inline constexpr std::size_t MAX_OPEN_TRANSFERS = 8;

/// The folder "transfers" inside "Tessiva" under the local application data folder;
/// none when that folder cannot be determined. Only computes the path.
[[nodiscard]] std::optional<std::string> transfers_folder();

/// The name of a partial file: the process id in decimal, "-", the transfer id, ".part".
[[nodiscard]] std::string partial_file_name(std::uint32_t process_id, std::string_view transfer_id);

/// The process id in the name of a partial file ('<pid>-t<n>.part', both numbers in
/// decimal without leading zeros, as `partial_file_name` writes them); none for any
/// other name.
[[nodiscard]] std::optional<std::uint32_t> partial_file_owner(std::string_view name);

/// Deletes the partial files in `folder` whose host process has surely ended (killed
/// before it could delete them itself). A file whose owner may still run is kept, and
/// so is everything that is not a partial file. Failures are ignored.
void remove_ended_partials(const std::string& folder);

/// One open transfer.
struct Transfer {
  std::string original_name;
  std::string part_path;
  platform::File file;
  std::uint64_t size = 0;
  /// Bytes accepted so far; never more than `size`.
  std::uint64_t received = 0;
  /// After a failed write the file may hold bytes past `received`; they are cut off
  /// before anything else is written or the file is saved.
  bool needs_trim = false;
};

/// The open transfers of one connection and the id counter. Every transfer still open
/// when the table is destroyed (or `close_all` is called) is closed and its partial file
/// deleted.
class TransferTable {
 public:
  /// Where partial files go (none: the folder cannot be determined).
  using FolderLookup = std::function<std::optional<std::string>()>;
  /// Appends decoded bytes to a partial file.
  using ChunkWriter = std::function<platform::Result<void>(platform::File&, std::span<const std::byte>)>;

  /// The real transfers folder and plain file writes.
  TransferTable();
  /// Other seams, for tests (a folder that cannot be made, writes that fail). An empty
  /// function keeps the real one.
  TransferTable(FolderLookup folder, ChunkWriter writer);
  TransferTable(const TransferTable&) = delete;
  TransferTable& operator=(const TransferTable&) = delete;
  ~TransferTable();

  [[nodiscard]] std::size_t open_count() const noexcept { return transfers_.size(); }
  /// The open transfer with this id, or null.
  [[nodiscard]] const Transfer* find(std::string_view id) const;

  /// Opens a transfer of `size` bytes (already checked against `MAX_TRANSFER_SIZE`):
  /// "busy" when `MAX_OPEN_TRANSFERS` are open, "io_error" when the folder or the
  /// partial file cannot be made (the id is used up then). Returns the new id.
  /// The first time the folder is there, the partial files of ended hosts are removed
  /// from it first (`remove_ended_partials`).
  [[nodiscard]] std::expected<std::string, messages::HostError> begin(std::string original_name, std::uint64_t size);

  /// Decodes chunk data (standard or URL-safe base64, padded or not) and appends it to
  /// the transfer `id`. "invalid_request" when the text is not acceptable, whatever the
  /// id, and when its bytes would pass the declared size; "not_found" when the id is not
  /// open; "io_error" when a write fails. On any failure the count stays as it was and
  /// nothing of the chunk stays in the file. Returns the bytes received so far.
  ///
  /// The text is decoded over itself, so it is not kept (the request's frame buffer
  /// holds it, and nothing reads it again). It is decoded and written in pieces of
  /// `piece_chars`: the bytes are written while they are still in the processor's
  /// cache, instead of after a pass over the whole chunk has pushed them out of it.
  [[nodiscard]] std::expected<std::uint64_t, messages::HostError> append_chunk(std::string_view id,
                                                                              std::span<char> text);

  /// Characters of chunk data decoded per piece (a multiple of 4); tests use small ones.
  void set_piece_chars(std::size_t chars) noexcept { piece_chars_ = chars; }

  /// Takes the transfer `id` out of the table (its file still open), or none.
  [[nodiscard]] std::optional<Transfer> take(std::string_view id);

  /// Closes every open transfer and deletes its partial file (failures to delete are
  /// ignored). The id counter goes on.
  void close_all() noexcept;

 private:
  std::map<std::string, Transfer, std::less<>> transfers_;
  std::uint64_t next_id_ = 1;
  /// Whether the partial files of ended hosts have been removed (once per table: the
  /// host has one).
  bool swept_ = false;
  // 256 KiB of text, 192 KiB decoded: small enough to stay in the processor's cache.
  std::size_t piece_chars_ = 256 * 1024;
  FolderLookup folder_;
  ChunkWriter writer_;
};

/// Closes a taken transfer's file and deletes its partial file, ignoring a failure.
void discard(Transfer& transfer) noexcept;

/// "begin_transfer": {"original_name", "size"} -> {"transfer_id"}.
[[nodiscard]] messages::HandlerResult handle_begin_transfer(TransferTable& table, const nlohmann::json& request);
/// "transfer_chunk": {"transfer_id", "data"} -> {"received"}. The data is decoded over
/// itself in `request`.
[[nodiscard]] messages::HandlerResult handle_transfer_chunk(TransferTable& table, messages::Request& request);
/// "finish_transfer": {"transfer_id", "target"} -> the reply of save-and-open, which
/// reads the settings only when the transfer is complete and the target valid.
[[nodiscard]] messages::HandlerResult handle_finish_transfer(TransferTable& table, const nlohmann::json& request,
                                                             const config::SettingsLoader& settings);
/// "cancel_transfer": {"transfer_id"} -> {}, whether or not the id was open.
[[nodiscard]] messages::HandlerResult handle_cancel_transfer(TransferTable& table, const nlohmann::json& request);

/// The save step of "finish_transfer": (partial file's path, the partial file held open,
/// reported name, target) -> reply. The step closes the file when it moved it away.
using SaveAndOpen = std::function<messages::HandlerResult(const std::string&, platform::File&, std::string_view,
                                                          const open::Target&)>;

/// "finish_transfer" with the save step passed in (tests record what would be saved).
[[nodiscard]] messages::HandlerResult handle_finish_transfer(TransferTable& table, const nlohmann::json& request,
                                                             const SaveAndOpen& save);

}  // namespace tessiva::transfers
