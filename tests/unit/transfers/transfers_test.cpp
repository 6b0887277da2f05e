#include "transfers/transfers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "config/save_folder.h"
#include "messages/json_reader.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "temp_folder.h"

namespace tessiva::transfers {
namespace {

using messages::HandlerResult;
using nlohmann::json;
using platform::join_path;

bool is_windows() { return platform::PLATFORM_NAME == "windows"; }

/// Points the Linux cache folder, where the real transfers folder
/// lies, into a private folder for the life of a test and puts the old value back
/// afterwards. Under Wine the prefix is private already, so nothing is changed there.
/// (The settings are handed in, not steered through the environment.)
class PrivateProfile {
 public:
  explicit PrivateProfile(const std::string& root) {
    if (is_windows()) return;
    for (const auto& [name, sub] : {std::pair{"XDG_CACHE_HOME", "cache"}}) {
      const char* old = std::getenv(name);
      saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
      put(std::string(name) + "=" + join_path(root, sub));
    }
  }
  ~PrivateProfile() {
    // putenv("NAME") without "=" removes the variable.
    for (const auto& [name, old] : saved_) put(old ? name + "=" + *old : name);
  }
  PrivateProfile(const PrivateProfile&) = delete;
  PrivateProfile& operator=(const PrivateProfile&) = delete;

 private:
  static void put(std::string entry) {
    // The C library may keep the very string handed to putenv, so it is never freed.
    static std::deque<std::string> kept;
    kept.push_back(std::move(entry));
    ::putenv(kept.back().data());
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

json request(std::string_view text) {
  auto value = messages::read_json(text);
  EXPECT_TRUE(value) << text;
  return value.value_or(json());
}

/// A reply as one comparable text: the result, or the error code (and detail).
/// "transfer_chunk" with a request built in code; its data is decoded over itself.
HandlerResult send_chunk(TransferTable& table, json request) {
  messages::Request r(std::move(request));
  return handle_transfer_chunk(table, r);
}

std::string show(const HandlerResult& outcome) {
  if (outcome) return outcome->dump();
  std::string text = "error:" + std::string(outcome.error().code);
  if (outcome.error().detail) text += " " + *outcome.error().detail;
  return text;
}

/// The id of the n-th transfer. (Built by appending: "t" + std::to_string(n) trips a
/// false -Wrestrict warning of GCC 12.)
std::string tid(std::uint64_t n) {
  std::string id = "t";
  id += std::to_string(n);
  return id;
}

std::string opened(std::uint64_t n) { return R"({"transfer_id":")" + tid(n) + R"("})"; }

bool exists(const std::string& path) { return platform::file_attributes(path).has_value(); }

std::string contents(const std::string& path) { return platform::read_file(path).value_or("<missing>"); }

class Transfers : public ::testing::Test {
 protected:
  test::TempFolder temp;
  PrivateProfile profile{temp.path()};
  TransferTable table;
  /// The settings that finishing a transfer reads: the defaults, saving into the
  /// test's own folder.
  config::Config settings = [this] {
    config::Config c = config::default_config();
    c.save_folder = join_path(temp.path(), "saved");
    return c;
  }();
  config::SettingsLoader loader() const {
    return [this] { return settings; };
  }

  std::string begin(std::string_view name, std::uint64_t size) {
    json r = {{"original_name", name}, {"size", size}};
    return show(handle_begin_transfer(table, r));
  }
  std::string chunk(std::string_view id, std::string_view data) {
    json r = {{"transfer_id", id}, {"data", data}};
    return show(send_chunk(table, r));
  }
  std::string finish(std::string_view id, const json& target = {{"kind", "save_only"}}) {
    json r = {{"transfer_id", id}, {"target", target}};
    return show(handle_finish_transfer(table, r, loader()));
  }
  std::string cancel(std::string_view id) { return show(handle_cancel_transfer(table, {{"transfer_id", id}})); }
  std::string part_path(std::string_view id) {
    const Transfer* t = table.find(id);
    return t ? t->part_path : std::string();
  }
};

TEST_F(Transfers, IdsCountUpAndNameTheirPartialFiles) {
  EXPECT_EQ(partial_file_name(4242, "t1"), "4242-t1.part");
  const auto found = platform::program_folder(platform::ProgramFolder::Transfers, "Tessiva");
  ASSERT_TRUE(found);
  const std::string folder = *found;
  EXPECT_EQ(transfers_folder(), folder);

  for (int n = 1; n <= 3; ++n) {
    const std::string id = tid(n);
    EXPECT_EQ(begin("r\xc3\xa9sum\xc3\xa9.pdf", 10), opened(n));
    EXPECT_EQ(part_path(id), join_path(folder, std::to_string(platform::process_id()) + "-" + id + ".part"));
    EXPECT_EQ(contents(part_path(id)), "");
    EXPECT_EQ(table.find(id)->original_name, "r\xc3\xa9sum\xc3\xa9.pdf");
  }
}

TEST(PartialFileOwner, OnlyTheExactNameShapeHasAnOwner) {
  EXPECT_EQ(partial_file_owner(partial_file_name(4242, "t1")), 4242u);
  EXPECT_EQ(partial_file_owner("4294967295-t18446744073709551615.part"), 4294967295u);
  for (const char* name : {"4294967296-t1.part", "4242-t18446744073709551616.part", "04242-t1.part", "4242-t01.part",
                           "0-t1.part", "4242-t.part", "-t1.part", "4242-t1.part.bak", "4242-t1.PART", "4242-T1.part",
                           "4242_t1.part", "4242-t1-t2.part", "+4242-t1.part", "4242-t1", ".part", "notes.txt"})
    EXPECT_EQ(partial_file_owner(name), std::nullopt) << name;
}

TEST_F(Transfers, DeclaredSizes) {
  // Requests as our reader delivers them: non-negative integers unsigned, negative
  // ones signed, fractions and exponents floating point.
  const std::pair<const char*, const char*> cases[] = {
      {R"({"original_name":"a","size":0})", R"({"transfer_id":"t1"})"},
      {R"({"original_name":"a","size":4294967296})", R"({"transfer_id":"t1"})"},
      {R"({"original_name":"a","size":4294967297})", "error:file_too_large"},
      {R"({"original_name":"a","size":18446744073709551615})", "error:file_too_large"},
      {R"({"original_name":"a","size":-1})", "error:invalid_request"},
      {R"({"original_name":"a","size":1.5})", "error:invalid_request"},
      {R"({"original_name":"a","size":5.0})", "error:invalid_request"},
      {R"({"original_name":"a","size":5e0})", "error:invalid_request"},
      {R"({"original_name":"a","size":18446744073709551616})", "error:invalid_request"},
      {R"({"original_name":"a","size":"5"})", "error:invalid_request"},
      {R"({"original_name":"a","size":null})", "error:invalid_request"},
      {R"({"original_name":"a"})", "error:invalid_request"},
      {R"({"size":5})", "error:invalid_request"},
      {R"({"original_name":5,"size":5})", "error:invalid_request"},
      // The name is checked first.
      {R"({"original_name":null,"size":4294967297})", "error:invalid_request"},
  };
  for (const auto& [text, want] : cases) {
    TransferTable fresh;
    EXPECT_EQ(show(handle_begin_transfer(fresh, request(text))), want) << text;
  }
}

TEST_F(Transfers, TheCountLimitComesAfterTheSizeCheckAndIdsAreNeverReused) {
  for (std::size_t n = 1; n <= MAX_OPEN_TRANSFERS; ++n)
    EXPECT_EQ(begin("a", 0), opened(n));
  EXPECT_EQ(begin("a", 0), "error:busy");
  EXPECT_EQ(begin("a", MAX_TRANSFER_SIZE), "error:busy");
  EXPECT_EQ(begin("a", MAX_TRANSFER_SIZE + 1), "error:file_too_large");
  EXPECT_EQ(begin("a", std::uint64_t{5} << 30), "error:file_too_large");

  EXPECT_EQ(cancel("t3"), "{}");
  EXPECT_EQ(begin("a", 0), R"({"transfer_id":"t9"})");
  EXPECT_EQ(begin("a", 0), "error:busy");
  EXPECT_EQ(finish("t4", {{"kind", "nope"}}), "error:invalid_request");
  EXPECT_EQ(begin("a", 0), R"({"transfer_id":"t10"})");
  EXPECT_EQ(table.open_count(), MAX_OPEN_TRANSFERS);
}

TEST_F(Transfers, ChunkDataIsDecodedByTheTolerantRules) {
  // (data, the bytes it adds, or empty when it is refused)
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"aGVsbG8=", "hello"},
      {"aGVsbG8", "hello"},
      {"aGVsbG8===", "hello"},
      {"aGVsbA==", "hell"},
      {"+/+/", "\xfb\xff\xbf"},
      {"-_-_", "\xfb\xff\xbf"},
      {"+_-/", "\xfb\xff\xbf"},
      {"", ""},
      {"====", ""},
      {"aGVsbG9", std::nullopt},  // spare bits set
      {"aGVsb", std::nullopt},    // one character left over
      {"a GV", std::nullopt},
      {"aGVs\nbG8=", std::nullopt},
      {"aG=sbG8", std::nullopt},
      {"aGVsbG8*", std::nullopt},
      {"aGVs\xc3\xa9", std::nullopt},
      // "=" that would end a piece of four or eight characters.
      {"aGVs=GVs", std::nullopt},
      {"aGVsbGU=aGVs", std::nullopt},
      {"aGVsbGVsaGU=", "hellelhe"},
  };
  // Whole chunks, and chunks decoded and written in pieces of one and two groups.
  for (const std::size_t piece : {std::size_t{1024 * 1024}, std::size_t{4}, std::size_t{8}}) {
    for (const auto& [data, bytes] : cases) {
      TransferTable fresh;
      fresh.set_piece_chars(piece);
      ASSERT_TRUE(handle_begin_transfer(fresh, {{"original_name", "a"}, {"size", 100}}));
      // A first chunk, so that a refused one must leave exactly these bytes behind.
      ASSERT_TRUE(send_chunk(fresh, json{{"transfer_id", "t1"}, {"data", "QUJD"}}));
      const auto outcome = send_chunk(fresh, json{{"transfer_id", "t1"}, {"data", data}});
      const std::string part = fresh.find("t1")->part_path;
      if (!bytes) {
        EXPECT_EQ(show(outcome), "error:invalid_request") << data << " in pieces of " << piece;
        EXPECT_EQ(fresh.find("t1")->received, 3u);
        EXPECT_EQ(contents(part), "ABC") << data << " in pieces of " << piece;
        continue;
      }
      EXPECT_EQ(show(outcome), R"({"received":)" + std::to_string(3 + bytes->size()) + "}") << data;
      EXPECT_EQ(contents(part), "ABC" + *bytes) << data << " in pieces of " << piece;
    }
  }
}

TEST_F(Transfers, ChunkRequestChecksComeInOrder) {
  ASSERT_EQ(begin("a", 5), R"({"transfer_id":"t1"})");
  const std::pair<const char*, const char*> cases[] = {
      {R"({"data":"aGVs"})", "error:invalid_request"},
      {R"({"transfer_id":1,"data":"aGVs"})", "error:invalid_request"},
      {R"({"transfer_id":"t1"})", "error:invalid_request"},
      {R"({"transfer_id":"t1","data":null})", "error:invalid_request"},
      // Undecodable data is invalid whatever the id; decodable data for an unknown id
      // is not found.
      {R"({"transfer_id":"t7","data":"aGVsb"})", "error:invalid_request"},
      {R"({"transfer_id":"t7","data":"aGVs"})", "error:not_found"},
      {R"({"transfer_id":"T1","data":"aGVs"})", "error:not_found"},
      // Past the declared size: refused, and a smaller chunk afterwards is accepted.
      {R"({"transfer_id":"t1","data":"aGVsbG8h"})", "error:invalid_request"},
      {R"({"transfer_id":"t1","data":"aGVs"})", R"({"received":3})"},
      {R"({"transfer_id":"t1","data":"bG8h"})", "error:invalid_request"},
      {R"({"transfer_id":"t1","data":""})", R"({"received":3})"},
      {R"({"transfer_id":"t1","data":"bG8"})", R"({"received":5})"},
      {R"({"transfer_id":"t1","data":"IQ"})", "error:invalid_request"},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(show(send_chunk(table, request(text))), want) << text;
  EXPECT_EQ(contents(part_path("t1")), "hello");
}

TEST_F(Transfers, InterleavedTransfersKeepTheirOwnBytes) {
  ASSERT_EQ(begin("a", 6), R"({"transfer_id":"t1"})");
  ASSERT_EQ(begin("b", 6), R"({"transfer_id":"t2"})");
  EXPECT_EQ(chunk("t1", "YWFh"), R"({"received":3})");
  EXPECT_EQ(chunk("t2", "YmJi"), R"({"received":3})");
  EXPECT_EQ(chunk("t1", "QUFB"), R"({"received":6})");
  EXPECT_EQ(chunk("t2", "QkJC"), R"({"received":6})");
  EXPECT_EQ(contents(part_path("t1")), "aaaAAA");
  EXPECT_EQ(contents(part_path("t2")), "bbbBBB");
}

// A chunk as the channel delivers a large one: its data left in the frame, outside the
// request's value.
TEST_F(Transfers, ChunkDataLeftInTheFrameIsDecodedFromThere) {
  std::string body = R"({"type":"transfer_chunk","transfer_id":"t1","data":")";
  for (std::size_t i = 0; i < messages::LONG_STRING_BYTES / 4; ++i) body += "QUJD";
  body += "\"}";
  const std::size_t size = body.size();
  body.append(messages::JSON_PADDING, '\0');
  auto request = messages::read_request_in_situ(body.data(), size);
  ASSERT_TRUE(request);
  ASSERT_EQ(request->long_strings.size(), 1u);

  const std::uint64_t n = messages::LONG_STRING_BYTES / 4 * 3;
  ASSERT_EQ(begin("a", n), opened(1));
  EXPECT_EQ(show(handle_transfer_chunk(table, *request)), R"({"received":)" + std::to_string(n) + "}");
  std::string expected;
  for (std::uint64_t i = 0; i < n / 3; ++i) expected += "ABC";
  EXPECT_EQ(contents(part_path("t1")), expected);
}

TEST_F(Transfers, AFinishedTransferIsHandedToTheSaveStepAndItsPartialFileRemoved) {
  ASSERT_EQ(begin("Report.PDF", 5), R"({"transfer_id":"t1"})");
  ASSERT_EQ(chunk("t1", "aGVsbG8"), R"({"received":5})");
  const std::string part = part_path("t1");
  int calls = 0;
  const SaveAndOpen save = [&](const std::string& source, platform::File&, std::string_view name,
                               const open::Target& target) {
    ++calls;
    EXPECT_EQ(source, part);
    EXPECT_EQ(contents(source), "hello");
    EXPECT_EQ(name, "Report.PDF");
    EXPECT_EQ(target, open::Target(open::target::App{"a1"}));
    return HandlerResult(json{{"saved_path", "somewhere"}});
  };
  const json r = request(R"({"transfer_id":"t1","target":{"kind":"app","app_id":"a1","x":1}})");
  EXPECT_EQ(show(handle_finish_transfer(table, r, save)), R"({"saved_path":"somewhere"})");
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(exists(part));
  EXPECT_EQ(show(handle_finish_transfer(table, r, save)), "error:not_found");
  EXPECT_EQ(calls, 1);
  // The save step's failure is the reply, and the received contents go too.
  ASSERT_EQ(begin("b", 0), R"({"transfer_id":"t2"})");
  const std::string part2 = part_path("t2");
  const SaveAndOpen failing = [](const std::string&, platform::File&, std::string_view, const open::Target&) {
    return HandlerResult(std::unexpected(messages::HostError{messages::error_code::NO_DEFAULT, std::nullopt}));
  };
  EXPECT_EQ(show(handle_finish_transfer(table, {{"transfer_id", "t2"}, {"target", {{"kind", "default"}}}}, failing)),
            "error:no_default");
  EXPECT_FALSE(exists(part2));
}

TEST_F(Transfers, TheSweepTakesOnlyWhatNobodyHolds) {
  // No process has the id 4294967295, so the name alone would let both files go; the
  // one that is held (as a host of any copy of the program holds its own) stays.
  const std::string folder = join_path(temp.path(), "sweep");
  ASSERT_TRUE(platform::create_folders(folder));
  const std::string held_path = join_path(folder, "4294967295-t1.part");
  const std::string left_path = join_path(folder, "4294967295-t2.part");
  auto held = platform::create_owned(held_path);
  ASSERT_TRUE(held) << held.error().text();
  ASSERT_TRUE(platform::create_owned(left_path));
  remove_ended_partials(folder);
  EXPECT_TRUE(platform::entry_exists(held_path));
  EXPECT_FALSE(platform::entry_exists(left_path));
  held->close();
  remove_ended_partials(folder);
  EXPECT_FALSE(platform::entry_exists(held_path));
}

TEST_F(Transfers, AnIncompleteTransferIsRemoved) {
  ASSERT_EQ(begin("a", 5), R"({"transfer_id":"t1"})");
  ASSERT_EQ(chunk("t1", "aGVs"), R"({"received":3})");
  const std::string part = part_path("t1");
  EXPECT_EQ(finish("t1"), "error:incomplete_transfer");
  EXPECT_FALSE(exists(part));
  EXPECT_EQ(finish("t1"), "error:not_found");
  EXPECT_EQ(chunk("t1", "aGVs"), "error:not_found");
}

TEST_F(Transfers, AMissingOrInvalidTargetEndsTheTransferAndRemovesItsFile) {
  const char* targets[] = {
      R"({"transfer_id":"ID"})",
      R"({"transfer_id":"ID","target":null})",
      R"({"transfer_id":"ID","target":"save_only"})",
      R"({"transfer_id":"ID","target":{}})",
      R"({"transfer_id":"ID","target":{"kind":"App","app_id":"a"}})",
      R"({"transfer_id":"ID","target":{"kind":"app"}})",
      R"({"transfer_id":"ID","target":{"kind":"handler","handler_id":7}})",
  };
  int n = 0;
  for (std::string text : targets) {
    const std::string id = tid(++n);
    text.replace(text.find("ID"), 2, id);
    ASSERT_EQ(begin("a", 0), opened(n));
    const std::string part = part_path(id);
    bool saved = false;
    const SaveAndOpen save = [&](const std::string&, platform::File&, std::string_view, const open::Target&) {
      saved = true;
      return HandlerResult(json::object());
    };
    EXPECT_EQ(show(handle_finish_transfer(table, request(text), save)), "error:invalid_request") << text;
    EXPECT_FALSE(saved) << text;
    EXPECT_FALSE(exists(part)) << text;
    EXPECT_EQ(table.open_count(), 0u) << text;
  }
}

TEST_F(Transfers, AnIdThatIsNotAStringChangesNothing) {
  ASSERT_EQ(begin("a", 0), R"({"transfer_id":"t1"})");
  for (const char* text : {R"({})", R"({"transfer_id":1})", R"({"transfer_id":["t1"]})"}) {
    EXPECT_EQ(show(handle_finish_transfer(table, request(text), loader())), "error:invalid_request") << text;
    EXPECT_EQ(show(handle_cancel_transfer(table, request(text))), "error:invalid_request") << text;
  }
  EXPECT_TRUE(exists(part_path("t1")));
}

TEST_F(Transfers, CancelRemovesThePartialFileAndIgnoresUnknownIds) {
  EXPECT_EQ(cancel("t1"), "{}");
  ASSERT_EQ(begin("a", 5), R"({"transfer_id":"t1"})");
  ASSERT_EQ(chunk("t1", "aGVs"), R"({"received":3})");
  const std::string part = part_path("t1");
  EXPECT_EQ(cancel("t1"), "{}");
  EXPECT_FALSE(exists(part));
  EXPECT_EQ(cancel("t1"), "{}");
  EXPECT_EQ(chunk("t1", "aGVs"), "error:not_found");
}

TEST_F(Transfers, ClosingTheTableDeletesEveryPartialFile) {
  std::vector<std::string> parts;
  {
    TransferTable scoped;
    for (int n = 0; n < 3; ++n) {
      ASSERT_TRUE(handle_begin_transfer(scoped, {{"original_name", "a"}, {"size", 9}}));
      parts.push_back(scoped.find(tid(n + 1))->part_path);
    }
    ASSERT_TRUE(send_chunk(scoped, json{{"transfer_id", "t2"}, {"data", "aGVs"}}));
  }
  for (const auto& part : parts) EXPECT_FALSE(exists(part)) << part;

  for (int n = 1; n <= 3; ++n) ASSERT_EQ(begin("a", 9), opened(n));
  parts = {part_path("t1"), part_path("t2"), part_path("t3")};
  table.close_all();
  EXPECT_EQ(table.open_count(), 0u);
  for (const auto& part : parts) EXPECT_FALSE(exists(part)) << part;
  // The counter goes on.
  EXPECT_EQ(begin("a", 0), R"({"transfer_id":"t4"})");
}

TEST_F(Transfers, AFailedWriteIsCutBackSoTheNextChunkAppendsInPlace) {
  bool fail_next = false;
  TransferTable failing(nullptr, [&](platform::File& file, std::span<const std::byte> bytes) -> platform::Result<void> {
    if (!fail_next) return file.write(bytes);
    fail_next = false;
    // Half of the bytes reach the file before the disk fills up.
    if (auto half = file.write(bytes.first(bytes.size() / 2)); !half) return half;
    return std::unexpected(platform::OsError{112, "disk full"});
  });
  ASSERT_TRUE(handle_begin_transfer(failing, {{"original_name", "a"}, {"size", 12}}));
  const std::string part = failing.find("t1")->part_path;
  auto send = [&](const char* data) { return show(send_chunk(failing, json{{"transfer_id", "t1"}, {"data", data}})); };

  EXPECT_EQ(send("YWFh"), R"({"received":3})");
  fail_next = true;
  EXPECT_EQ(send("YmJiYmJi"), "error:io_error disk full (os error 112)");
  EXPECT_EQ(failing.find("t1")->received, 3u);
  EXPECT_EQ(contents(part), "aaa");
  EXPECT_EQ(send("Y2NjY2Nj"), R"({"received":9})");
  EXPECT_EQ(send("ZGRk"), R"({"received":12})");
  EXPECT_EQ(contents(part), "aaaccccccddd");
}

TEST_F(Transfers, AWriteThatFailsAfterTheFirstPieceLeavesNothingOfTheChunk) {
  int writes = 0;
  TransferTable failing(nullptr, [&](platform::File& file, std::span<const std::byte> bytes) -> platform::Result<void> {
    if (++writes == 3) return std::unexpected(platform::OsError{112, "disk full"});
    return file.write(bytes);
  });
  failing.set_piece_chars(4);
  ASSERT_TRUE(handle_begin_transfer(failing, {{"original_name", "a"}, {"size", 12}}));
  const std::string part = failing.find("t1")->part_path;
  auto send = [&](const char* data) { return show(send_chunk(failing, json{{"transfer_id", "t1"}, {"data", data}})); };

  EXPECT_EQ(send("YWFh"), R"({"received":3})");
  EXPECT_EQ(send("YmJiYmJi"), "error:io_error disk full (os error 112)");  // its second piece fails
  EXPECT_EQ(failing.find("t1")->received, 3u);
  EXPECT_EQ(contents(part), "aaa");
  EXPECT_EQ(send("Y2NjY2Nj"), R"({"received":9})");
  EXPECT_EQ(contents(part), "aaacccccc");
}

TEST_F(Transfers, FolderAndFileFailuresAreIoErrors) {
  TransferTable no_folder([] { return std::nullopt; }, nullptr);
  EXPECT_EQ(show(handle_begin_transfer(no_folder, {{"original_name", "a"}, {"size", 1}})), "error:io_error");

  // A file stands where the transfers folder would be.
  const std::string blocked = join_path(temp.path(), "blocked");
  ASSERT_TRUE(platform::create_truncate(blocked));
  TransferTable under_file([&] { return std::optional(join_path(blocked, "transfers")); }, nullptr);
  const std::string folder_error = show(handle_begin_transfer(under_file, {{"original_name", "a"}, {"size", 1}}));
  EXPECT_TRUE(folder_error.starts_with("error:io_error ") && folder_error.ends_with(")")) << folder_error;

  // A folder stands where the first partial file would be: its id is used up.
  const std::string folder = join_path(temp.path(), "transfers");
  ASSERT_TRUE(platform::create_folders(join_path(folder, partial_file_name(platform::process_id(), "t1"))));
  TransferTable taken([&] { return std::optional(folder); }, nullptr);
  const std::string file_error = show(handle_begin_transfer(taken, {{"original_name", "a"}, {"size", 1}}));
  EXPECT_TRUE(file_error.starts_with("error:io_error ") && file_error.ends_with(")")) << file_error;
  EXPECT_EQ(show(handle_begin_transfer(taken, {{"original_name", "a"}, {"size", 1}})), R"({"transfer_id":"t2"})");
  EXPECT_EQ(taken.open_count(), 1u);
}

/// Files in the save folder, by name.
std::vector<std::string> listing(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(folder), ignored)) {
    const auto name = entry.path().filename().u8string();
    names.emplace_back(name.begin(), name.end());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(Transfers, SavingForReal) {
  const auto save_folder = config::effective_save_folder(settings);
  ASSERT_TRUE(save_folder);
  const auto before = listing(*save_folder);

  // A size of 0 is finished at once and saves an empty file.
  ASSERT_EQ(begin("empty.txt", 0), R"({"transfer_id":"t1"})");
  const std::string part = part_path("t1");
  const auto saved =
      handle_finish_transfer(table, {{"transfer_id", "t1"}, {"target", {{"kind", "save_only"}}}}, loader());
  ASSERT_TRUE(saved) << show(saved);
  const std::string saved_path = saved->at("saved_path").get<std::string>();
  EXPECT_TRUE(saved_path.starts_with(*save_folder)) << saved_path;
  EXPECT_EQ(contents(saved_path), "");
  EXPECT_FALSE(exists(part));
  ASSERT_TRUE(platform::delete_file(saved_path));

  // An unknown application leaves neither a partial file nor a saved one.
  ASSERT_EQ(begin("x.txt", 5), R"({"transfer_id":"t2"})");
  ASSERT_EQ(chunk("t2", "aGVsbG8"), R"({"received":5})");
  const std::string part2 = part_path("t2");
  EXPECT_EQ(finish("t2", {{"kind", "app"}, {"app_id", "no such app 5b1e0c"}}), "error:app_not_found");
  EXPECT_FALSE(exists(part2));
  EXPECT_EQ(listing(*save_folder), before);
}

}  // namespace
}  // namespace tessiva::transfers
