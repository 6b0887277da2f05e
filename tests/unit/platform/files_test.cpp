#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "temp_folder.h"

namespace tessiva::platform {
namespace {

namespace fs = std::filesystem;

bool on_windows() { return PATH_SEPARATOR == '\\'; }

/// Each test works in a fresh private folder.
class PlatformFiles : public ::testing::Test {
 protected:
  std::string path(std::string_view name) const { return join_path(folder_, name); }

  void put(const std::string& file, std::string_view text) const {
    auto f = create_truncate(file);
    ASSERT_TRUE(f) << f.error().text();
    ASSERT_TRUE(f->write(text));
  }

  std::string contents(const std::string& file) const {
    auto text = read_file(file);
    EXPECT_TRUE(text) << file << ": " << text.error().text();
    return text.value_or("<unreadable>");
  }

  test::TempFolder temp_;
  std::string folder_ = temp_.path();
  fs::path root_ = fs::path(std::u8string(folder_.begin(), folder_.end()));
};

TEST_F(PlatformFiles, JoinPathNeverDoublesTheSeparator) {
  const std::string sep(1, PATH_SEPARATOR);
  EXPECT_EQ(join_path("a", "b"), "a" + sep + "b");
  EXPECT_EQ(join_path("a" + sep, "b"), "a" + sep + "b");
  EXPECT_EQ(join_path("a/", "b"), "a/b");
  EXPECT_EQ(join_path(join_path("a", "b"), "c"), "a" + sep + "b" + sep + "c");
}

TEST_F(PlatformFiles, ExclusiveCreationRefusesAnExistingName) {
  const std::string file = path("held.pdf");
  {
    auto created = create_exclusive(file);
    ASSERT_TRUE(created) << created.error().text();
    EXPECT_TRUE(created->is_open());
    ASSERT_TRUE(created->write("first"));
  }
  auto again = create_exclusive(file);
  ASSERT_FALSE(again);
  EXPECT_TRUE(is_already_exists(again.error())) << again.error().text();
  EXPECT_EQ(contents(file), "first");

  ASSERT_TRUE(create_folders(path("folder")));
  auto over_folder = create_exclusive(path("folder"));
  ASSERT_FALSE(over_folder);
  EXPECT_TRUE(is_already_exists(over_folder.error())) << over_folder.error().text();

  auto in_missing_folder = create_exclusive(join_path(path("missing"), "x"));
  ASSERT_FALSE(in_missing_folder);
  EXPECT_FALSE(is_already_exists(in_missing_folder.error()));
  EXPECT_TRUE(is_not_found(in_missing_folder.error())) << in_missing_folder.error().text();
}

TEST_F(PlatformFiles, ExclusivelyCreatedFileCanBeReadAndDeletedWhileOpen) {
  const std::string file = path("shared");
  auto created = create_exclusive(file);
  ASSERT_TRUE(created) << created.error().text();
  ASSERT_TRUE(created->write("visible"));
  EXPECT_EQ(contents(file), "visible");
  auto deleted = delete_file(file);
  EXPECT_TRUE(deleted) << deleted.error().text();
}

TEST_F(PlatformFiles, AnOwnedFileIsKeptFromOthersUntilItIsClosed) {
  const std::string file = path("owned.part");
  auto owned = create_owned(file);
  ASSERT_TRUE(owned) << owned.error().text();
  ASSERT_TRUE(owned->write("held"));
  EXPECT_FALSE(create_owned(file));
  // A sweeper cannot take it while it is held, and the owner still renames it, reads
  // it back and deletes it.
  EXPECT_FALSE(delete_unowned(file));
  EXPECT_EQ(contents(file), "held");
  const std::string moved = path("moved.txt");
  put(moved, "replaced");
  ASSERT_TRUE(owned->rename_to(file, moved));
  EXPECT_FALSE(entry_exists(file));
  EXPECT_EQ(contents(moved), "held");
  auto copy = create_owned(path("copy.tmp"));
  ASSERT_TRUE(copy);
  ASSERT_TRUE(owned->write("!"));
  ASSERT_TRUE(owned->copy_to(*copy));
  EXPECT_EQ(contents(path("copy.tmp")), "held!");
  EXPECT_FALSE(delete_unowned(moved));
  ASSERT_TRUE(owned->remove(moved));
  EXPECT_FALSE(owned->is_open());
  EXPECT_FALSE(entry_exists(moved));
  // Once closed, what is left is a leftover that anyone may sweep.
  copy->close();
  EXPECT_TRUE(delete_unowned(path("copy.tmp")));
  EXPECT_FALSE(entry_exists(path("copy.tmp")));
}

TEST_F(PlatformFiles, TruncatingCreationEmptiesAndTruncateCutsOrExtends) {
  const std::string file = path("t.txt");
  put(file, "a much longer old content");
  {
    auto f = create_truncate(file);
    ASSERT_TRUE(f) << f.error().text();
    ASSERT_TRUE(f->write("hello world"));
    ASSERT_TRUE(f->truncate(5));
    ASSERT_TRUE(f->write("!"));  // the position moved to the cut
    ASSERT_TRUE(f->flush_to_disk());
  }
  EXPECT_EQ(contents(file), "hello!");
  {
    auto f = create_truncate(file);
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->write("hello!"));
    ASSERT_TRUE(f->truncate(8));
    ASSERT_TRUE(f->write("z"));
  }
  EXPECT_EQ(contents(file), std::string("hello!\0\0z", 9));
}

TEST_F(PlatformFiles, WritesAndReadsMoreThanOneIoChunk) {
  std::string big(3 * (1 << 20) + 7, '\0');
  std::mt19937 random(7);
  std::generate(big.begin(), big.end(), [&] { return static_cast<char>(random()); });
  const std::string file = path("big.bin");
  put(file, big);
  const auto read = read_file(file);
  ASSERT_TRUE(read);
  EXPECT_TRUE(*read == big);
  const auto attributes = file_attributes(file);
  ASSERT_TRUE(attributes);
  EXPECT_EQ(attributes->size, big.size());
}

TEST_F(PlatformFiles, RenameReplacesTheTargetAndCopyReplacesItsContents) {
  const std::string from = path("config.json.tmp"), to = path("config.json");
  put(from, "new");
  put(to, "the old and longer text");
  ASSERT_TRUE(rename_replace(from, to));
  EXPECT_EQ(contents(to), "new");
  EXPECT_FALSE(fs::exists(root_ / "config.json.tmp"));
  auto again = rename_replace(from, to);
  ASSERT_FALSE(again);
  EXPECT_TRUE(is_not_found(again.error())) << again.error().text();

  const std::string copy = path("copy");
  put(copy, "a longer text that must not survive the copy");
  auto copied = copy_file(to, copy);
  ASSERT_TRUE(copied) << copied.error().text();
  EXPECT_EQ(contents(copy), "new");
  EXPECT_EQ(contents(to), "new");
  auto from_missing = copy_file(path("missing"), copy);
  ASSERT_FALSE(from_missing);
  EXPECT_TRUE(is_not_found(from_missing.error())) << from_missing.error().text();
  EXPECT_EQ(contents(copy), "new");
}

TEST_F(PlatformFiles, DeleteRemovesTheFileOnce) {
  const std::string file = path("gone");
  put(file, "x");
  ASSERT_TRUE(delete_file(file));
  EXPECT_FALSE(fs::exists(root_ / "gone"));
  auto again = delete_file(file);
  ASSERT_FALSE(again);
  EXPECT_TRUE(is_not_found(again.error())) << again.error().text();
}

TEST_F(PlatformFiles, CreateFoldersMakesEveryMissingParent) {
  const std::string deep = join_path(join_path(join_path(folder_, "a"), "b"), "c");
  ASSERT_TRUE(create_folders(deep));
  EXPECT_TRUE(fs::is_directory(root_ / "a" / "b" / "c"));
  EXPECT_TRUE(create_folders(deep)) << "an existing folder is fine";
  EXPECT_TRUE(create_folders(deep + PATH_SEPARATOR)) << "a trailing separator is fine";
  EXPECT_TRUE(create_folders(folder_));

  put(path("file"), "x");
  auto under_file = create_folders(join_path(path("file"), "sub"));
  EXPECT_FALSE(under_file);
  auto over_file = create_folders(path("file"));
  EXPECT_FALSE(over_file) << "a file is not a folder";
}

TEST_F(PlatformFiles, CanonicalPathResolvesDotDotAndLetterCase) {
  ASSERT_TRUE(create_folders(path("sub")));
  const std::string file = path("Target.TXT");
  put(file, "x");
  const auto expected = canonical_path(file);
  ASSERT_TRUE(expected) << expected.error().text();
  EXPECT_TRUE(expected->ends_with(std::string(1, PATH_SEPARATOR) + "Target.TXT")) << *expected;

  const std::string dotted = join_path(join_path(path("sub"), ".."), "Target.TXT");
  const auto resolved = canonical_path(dotted);
  ASSERT_TRUE(resolved) << resolved.error().text();
  EXPECT_EQ(*resolved, *expected);
  EXPECT_EQ(canonical_path(*expected).value_or(""), *expected) << "canonical paths are fixed points";

  if (on_windows()) {
    std::string other_case = path("tARGET.txt");
    const auto folded = canonical_path(other_case);
    ASSERT_TRUE(folded) << folded.error().text();
    EXPECT_EQ(*folded, *expected);
    EXPECT_FALSE(expected->starts_with("\\\\?\\")) << *expected;
  }

  const auto folder = canonical_path(path("sub"));
  ASSERT_TRUE(folder) << folder.error().text();
  EXPECT_TRUE(folder->ends_with("sub")) << *folder;

  const auto missing = canonical_path(path("missing"));
  ASSERT_FALSE(missing);
  EXPECT_TRUE(is_not_found(missing.error())) << missing.error().text();
}

TEST_F(PlatformFiles, NonAsciiNamesSurviveTheRoundTrip) {
  const std::string name = "\xC3\xB1" "and\xC3\xBA \xE2\x9C\x93 \xF0\x9F\x93\x84.txt";  // ñandú ✓ 📄.txt
  const std::string file = path(name);
  put(file, "content");
  EXPECT_EQ(contents(file), "content");
  EXPECT_TRUE(fs::exists(root_ / fs::path(std::u8string(name.begin(), name.end()))));
  const auto canonical = canonical_path(file);
  ASSERT_TRUE(canonical) << canonical.error().text();
  EXPECT_TRUE(canonical->ends_with(name)) << *canonical;
}

TEST_F(PlatformFiles, AttributesOfFilesAndFolders) {
  const std::string file = path("a.bin");
  put(file, "12345");
  const auto before = system_time_now();
  const auto of_file = file_attributes(file);
  ASSERT_TRUE(of_file) << of_file.error().text();
  EXPECT_TRUE(of_file->is_regular);
  EXPECT_FALSE(of_file->is_directory);
  EXPECT_EQ(of_file->size, 5u);
  const auto age = before - of_file->last_write;
  EXPECT_LT(std::chrono::abs(age), std::chrono::minutes(1));

  const auto of_folder = file_attributes(folder_);
  ASSERT_TRUE(of_folder) << of_folder.error().text();
  EXPECT_TRUE(of_folder->is_directory);
  EXPECT_FALSE(of_folder->is_regular);

  const auto missing = file_attributes(path("missing"));
  ASSERT_FALSE(missing);
  EXPECT_TRUE(is_not_found(missing.error())) << missing.error().text();
}

TEST_F(PlatformFiles, FailuresCarryTheSystemNumberAndText) {
  const auto missing = read_file(path("missing.json"));
  ASSERT_FALSE(missing);
  const OsError& error = missing.error();
  EXPECT_NE(error.code, 0u);
  ASSERT_FALSE(error.message.empty());
  EXPECT_NE(error.message.back(), '\n');
  EXPECT_NE(error.message.back(), '\r');
  EXPECT_TRUE(error.text().ends_with(" (os error " + std::to_string(error.code) + ")")) << error.text();
  EXPECT_EQ(error.text(), error.message + " (os error " + std::to_string(error.code) + ")");

  const auto folder = read_file(folder_);
  EXPECT_FALSE(folder) << "a folder is not a file";
}

TEST_F(PlatformFiles, PathsWithNulCharactersAreRefusedNotCut) {
  const std::string file = path("real");
  put(file, "secret");
  const std::string with_nul = file + std::string(1, '\0') + "suffix";
  EXPECT_FALSE(read_file(with_nul));
  EXPECT_FALSE(file_attributes(with_nul));
  EXPECT_FALSE(delete_file(with_nul));
  EXPECT_FALSE(create_truncate(with_nul));
  EXPECT_EQ(contents(file), "secret");
}

TEST(PlatformClock, LocalTimeHasCalendarFields) {
  const LocalTime t = local_time_now();
  EXPECT_GE(t.year, 2024);
  EXPECT_TRUE(t.month >= 1 && t.month <= 12);
  EXPECT_TRUE(t.day >= 1 && t.day <= 31);
  EXPECT_TRUE(t.hour >= 0 && t.hour <= 23);
  EXPECT_TRUE(t.minute >= 0 && t.minute <= 59);
  EXPECT_TRUE(t.second >= 0 && t.second <= 60);
  const auto drift = system_time_now() - std::chrono::system_clock::now();
  EXPECT_LT(std::chrono::abs(drift), std::chrono::seconds(5));
}

}  // namespace
}  // namespace tessiva::platform
