#include "transfers/transfers.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>
#include <utility>

#include "config/store.h"
#include "messages/version.h"
#include "naming/sweep.h"
#include "platform/folders.h"
#include "platform/process.h"

namespace tessiva::transfers {
namespace {

using messages::HandlerResult;
using messages::HostError;
using nlohmann::json;
using messages::string_member;
namespace error_code = messages::error_code;

/// A JSON integer from 0 to 2^64-1. Our reader gives non-negative integers as unsigned
/// numbers; values built in code may hold them as signed ones.
std::optional<std::uint64_t> unsigned_integer(const json& value) {
  if (value.is_number_unsigned()) return value.get<std::uint64_t>();
  if (value.is_number_integer()) {
    const auto n = value.get<std::int64_t>();
    if (n >= 0) return static_cast<std::uint64_t>(n);
  }
  return std::nullopt;
}

platform::Result<void> plain_write(platform::File& file, std::span<const std::byte> bytes) {
  return file.write(bytes);
}

}  // namespace

std::optional<std::string> transfers_folder() {
  return platform::program_folder(platform::ProgramFolder::Transfers, messages::PRODUCT_NAME);
}

std::string partial_file_name(std::uint32_t process_id, std::string_view transfer_id) {
  std::string name = std::to_string(process_id);
  name += '-';
  name += transfer_id;
  name += ".part";
  return name;
}

std::optional<std::uint32_t> partial_file_owner(std::string_view name) {
  constexpr std::string_view ENDING = ".part";
  if (!name.ends_with(ENDING)) return std::nullopt;
  name.remove_suffix(ENDING.size());
  const auto dash = name.find("-t");
  if (dash == std::string_view::npos) return std::nullopt;
  const auto owner = naming::process_id_in_name(name.substr(0, dash));
  const std::string_view number = name.substr(dash + 2);
  // The transfer number: digits only, no leading zero, at most 2^64-1.
  std::uint64_t transfer = 0;
  const auto [end, problem] = std::from_chars(number.data(), number.data() + number.size(), transfer);
  if (!owner || number.empty() || number.front() == '0' || problem != std::errc() || end != number.data() + number.size())
    return std::nullopt;
  return owner;
}

void remove_ended_partials(const std::string& folder) {
  // Only a host that has surely ended loses its files: one that may still run may
  // still be writing them.
  naming::remove_files_of_ended_processes(folder, partial_file_owner);
}

void discard(Transfer& transfer) noexcept {
  // A file that is no longer open has been saved (moved away) already.
  if (transfer.file.is_open()) (void)transfer.file.remove(transfer.part_path);
}

TransferTable::TransferTable() : TransferTable(nullptr, nullptr) {}

TransferTable::TransferTable(FolderLookup folder, ChunkWriter writer)
    : folder_(folder ? std::move(folder) : FolderLookup(transfers_folder)),
      writer_(writer ? std::move(writer) : ChunkWriter(plain_write)) {}

TransferTable::~TransferTable() { close_all(); }

const Transfer* TransferTable::find(std::string_view id) const {
  const auto it = transfers_.find(id);
  return it == transfers_.end() ? nullptr : &it->second;
}

std::expected<std::string, HostError> TransferTable::begin(std::string original_name, std::uint64_t size) {
  if (transfers_.size() >= MAX_OPEN_TRANSFERS) return std::unexpected(HostError::of(error_code::BUSY));
  const auto folder = folder_();
  if (!folder) return std::unexpected(HostError::of(error_code::IO_ERROR));
  // The folder and the program's folder that holds it are the user's alone.
  if (auto made = platform::create_private_folders(*folder, 2); !made)
    return std::unexpected(HostError::io_error(made.error().text()));
  if (!swept_) {
    swept_ = true;
    remove_ended_partials(*folder);
  }

  std::string id = "t";
  id += std::to_string(next_id_++);
  std::string part_path = platform::join_path(*folder, partial_file_name(platform::process_id(), id));
  // The file is held, and so owned, from its creation on.
  auto file = naming::create_own_file(part_path);
  if (!file) return std::unexpected(HostError::io_error(file.error().text()));
  transfers_.emplace(id, Transfer{std::move(original_name), std::move(part_path), std::move(*file), size, 0, false});
  return id;
}

std::expected<std::uint64_t, HostError> TransferTable::append_chunk(std::string_view id, std::span<char> text) {
  const std::string_view whole(text.data(), text.size());
  // Only trailing "=" are padding; the text without them is cut into pieces of whole
  // groups, and the last piece gets the padding back for the decoder's final checks.
  const std::size_t chars = codec::base64_without_padding(whole).size();
  const auto decoded = codec::base64_decoded_size(whole);
  if (!decoded) return std::unexpected(HostError::invalid_request());
  const std::size_t piece = std::max<std::size_t>(piece_chars_ / 4 * 4, 4);

  // Decodes every piece over its own text and hands its bytes to `write`; false when
  // the text is not acceptable or `write` failed. Each way through this function runs
  // it once at most: the decoding overwrites the text.
  const auto for_each_piece = [&](const auto& write) {
    for (std::size_t at = 0; at < chars; at += piece) {
      const bool last = chars - at <= piece;
      const std::span<char> part = last ? text.subspan(at) : text.subspan(at, piece);
      // A piece that is not the last must not end in "=": the decoder would take it for
      // padding.
      if (!last && part.back() == '=') return false;
      const auto n = codec::base64_decode_in_place(part);
      if (!n || !write(std::as_bytes(part.first(*n)))) return false;
    }
    return true;
  };

  const auto acceptable = [&] { return for_each_piece([](std::span<const std::byte>) { return true; }); };

  const auto it = transfers_.find(id);
  // Undecodable data is invalid whatever the id.
  if (it == transfers_.end())
    return std::unexpected(acceptable() ? HostError::of(error_code::NOT_FOUND) : HostError::invalid_request());
  Transfer& t = it->second;
  // received <= size <= 4 GiB and a chunk is far smaller, so the sum cannot overflow.
  if (t.received + *decoded > t.size) return std::unexpected(HostError::invalid_request());

  // A failed write may have left part of its bytes in the file; the next chunk must
  // start right after the bytes that were counted, or the saved file would be corrupt.
  if (t.needs_trim) {
    if (auto cut = t.file.truncate(t.received); !cut)
      return std::unexpected(acceptable() ? HostError::io_error(cut.error().text()) : HostError::invalid_request());
    t.needs_trim = false;
  }
  std::optional<platform::OsError> write_error;
  const bool complete = for_each_piece([&](std::span<const std::byte> bytes) {
    if (bytes.empty()) return true;
    auto written = writer_(t.file, bytes);
    if (!written) write_error = std::move(written.error());
    return written.has_value();
  });
  if (!complete) {
    // Pieces before the bad one or the failed write are in the file already.
    t.needs_trim = !t.file.truncate(t.received);
    if (write_error) return std::unexpected(HostError::io_error(write_error->text()));
    return std::unexpected(HostError::invalid_request());
  }
  t.received += *decoded;
  return t.received;
}

std::optional<Transfer> TransferTable::take(std::string_view id) {
  const auto it = transfers_.find(id);
  if (it == transfers_.end()) return std::nullopt;
  Transfer transfer = std::move(it->second);
  transfers_.erase(it);
  return transfer;
}

void TransferTable::close_all() noexcept {
  for (auto& [id, transfer] : transfers_) discard(transfer);
  transfers_.clear();
}

HandlerResult handle_begin_transfer(TransferTable& table, const json& request) {
  const std::string* original_name = string_member(request, "original_name");
  if (!original_name) return std::unexpected(HostError::invalid_request());
  const auto size_it = request.find("size");
  const auto size = size_it == request.end() ? std::nullopt : unsigned_integer(*size_it);
  if (!size) return std::unexpected(HostError::invalid_request());
  // The size is checked before the count, so an oversized file is told so even when
  // the table is full.
  if (*size > MAX_TRANSFER_SIZE) return std::unexpected(HostError::of(error_code::FILE_TOO_LARGE));

  auto id = table.begin(*original_name, *size);
  if (!id) return std::unexpected(std::move(id.error()));
  json result = json::object();
  result["transfer_id"] = std::move(*id);
  return result;
}

HandlerResult handle_transfer_chunk(TransferTable& table, messages::Request& request) {
  // The data of a large chunk is decoded where the channel left it, never copied.
  const auto id = request.string_member("transfer_id");
  const auto data = request.writable_string_member("data");
  if (!id || !data) return std::unexpected(HostError::invalid_request());
  const auto received = table.append_chunk(*id, *data);
  if (!received) return std::unexpected(received.error());
  json result = json::object();
  result["received"] = *received;
  return result;
}

HandlerResult handle_finish_transfer(TransferTable& table, const json& request, const SaveAndOpen& save) {
  const std::string* id = string_member(request, "transfer_id");
  if (!id) return std::unexpected(HostError::invalid_request());
  auto transfer = table.take(*id);
  if (!transfer) return std::unexpected(HostError::of(error_code::NOT_FOUND));
  // The transfer has left the table, so nothing else would ever remove its partial
  // file: every way out of here does (after a successful save the file has been moved
  // away already; after a failed one this removes the received contents).
  struct DiscardOnExit {
    Transfer& transfer;
    ~DiscardOnExit() { discard(transfer); }
  } discard_on_exit{*transfer};

  if (transfer->received != transfer->size) return std::unexpected(HostError::of(error_code::INCOMPLETE_TRANSFER));
  if (transfer->needs_trim) {
    if (auto cut = transfer->file.truncate(transfer->received); !cut)
      return std::unexpected(HostError::io_error(cut.error().text()));
  }
  const auto target = open::read_target(request);
  if (!target) return std::unexpected(HostError::invalid_request());
  // The file stays open, and so the host's, until it is saved; in the save folder it
  // is one of the user's documents.
  (void)transfer->file.share_as_document();
  return save(transfer->part_path, transfer->file, transfer->original_name, *target);
}

HandlerResult handle_finish_transfer(TransferTable& table, const json& request, const config::SettingsLoader& settings) {
  return handle_finish_transfer(table, request,
                                [&](const std::string& source, platform::File& held, std::string_view name,
                                    const open::Target& target) {
                                  return open::save_and_open(settings(), source, held, name, target);
                                });
}

HandlerResult handle_cancel_transfer(TransferTable& table, const json& request) {
  const std::string* id = string_member(request, "transfer_id");
  if (!id) return std::unexpected(HostError::invalid_request());
  if (auto transfer = table.take(*id)) discard(*transfer);
  return json::object();
}

}  // namespace tessiva::transfers
