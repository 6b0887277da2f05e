// The entries of "list_handlers" made from fake handlers: Wine enumerates no handlers
// of its own, so the shell's objects are played by classes that count their references.

#include "platform/windows/handler_entries.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "platform/windows/dynamic_library.h"
#include "fake_assoc.h"
#include "shell_files.h"
#include "temp_folder.h"

namespace tessiva::platform {
namespace {

using test::FakeEnumerator;
using test::FakeHandler;
using test::HandlerSetup;

/// Indirect strings resolved from a table; records what it was asked.
struct FakeLoader {
  std::map<std::wstring, std::wstring> table;
  std::vector<std::wstring> asked;
  IndirectStringLoader loader() {
    return [this](const std::wstring& location) -> std::optional<std::wstring> {
      asked.push_back(location);
      const auto it = table.find(location);
      if (it == table.end()) return std::nullopt;
      return it->second;
    };
  }
};

std::vector<HandlerInfo> infos_of(std::vector<std::unique_ptr<FakeHandler>>& handlers, bool icons,
                                  const IndirectStringLoader& loader) {
  std::vector<FakeHandler*> raw;
  for (auto& h : handlers) raw.push_back(h.get());
  FakeEnumerator enumerator(raw);
  auto infos = handler_infos(collect_handlers(&enumerator), icons, loader);
  EXPECT_EQ(enumerator.references, 1u) << "the enumerator is released";
  for (std::size_t i = 0; i < handlers.size(); ++i) EXPECT_EQ(handlers[i]->references, 1u) << "handler " << i;
  return infos;
}

std::vector<std::unique_ptr<FakeHandler>> fakes(const std::vector<HandlerSetup>& setups) {
  std::vector<std::unique_ptr<FakeHandler>> handlers;
  for (const auto& setup : setups) handlers.push_back(std::make_unique<FakeHandler>(setup));
  return handlers;
}

TEST(HandlerEntries, AtMost101OfAnEnumerationOf150) {
  std::vector<HandlerSetup> setups;
  for (int i = 0; i < 150; ++i) {
    setups.push_back({.name = L"id" + std::to_wstring(i), .ui_name = L"Name " + std::to_wstring(i)});
  }
  auto handlers = fakes(setups);
  FakeLoader loader;
  const auto infos = infos_of(handlers, false, loader.loader());
  ASSERT_EQ(infos.size(), 101u);
  for (std::size_t i = 0; i < infos.size(); ++i) {
    EXPECT_EQ(infos[i].id, "id" + std::to_string(i));
    EXPECT_EQ(infos[i].name, "Name " + std::to_string(i));
    EXPECT_FALSE(infos[i].icon_png);
  }
}

TEST(HandlerEntries, UnreadableNamesLeaveTheHandlerOutAndOrderIsKept) {
  const std::wstring lone(1, static_cast<wchar_t>(0xDC00));
  auto handlers = fakes({
      {.name = L"first", .ui_name = L"Same", .recommended = S_OK},
      {.name = std::nullopt},
      {.name = L""},
      {.name = L"x", .name_result = E_FAIL},
      {.name = L"bad" + lone},
      {.ui_name = std::nullopt},
      {.ui_name = L""},
      {.ui_name = L"x", .ui_name_result = E_ACCESSDENIED},
      {.ui_name = L"bad" + lone},
      {.name = L"second", .ui_name = L"Same", .recommended = E_FAIL},
      {.name = L"third \u00E9\U0001F4C4", .ui_name = L"Caf\u00E9", .recommended = S_FALSE},
      {.name = L"fourth", .ui_name = L"Four", .recommended = static_cast<HRESULT>(2)},
      {.name = L"fifth", .ui_name = L"Five", .recommended = S_OK},
  });
  FakeLoader loader;
  const auto infos = infos_of(handlers, false, loader.loader());
  const std::vector<HandlerInfo> want{
      {"first", "Same", std::nullopt, true},
      {"second", "Same", std::nullopt, false},
      {"third \xC3\xA9\xF0\x9F\x93\x84", "Caf\xC3\xA9", std::nullopt, false},
      {"fourth", "Four", std::nullopt, false},
      {"fifth", "Five", std::nullopt, true},
  };
  EXPECT_EQ(infos, want);
  for (const auto& h : handlers) EXPECT_EQ(h->icon_location_calls, 0) << "no icons unless asked for";
}

std::wstring wide(const std::string& s) { return platform::widen(s); }

void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary) << bytes;
}

TEST(HandlerEntries, IconsFromIndirectStringsAreSmallPngFilesOnly) {
  test::TempFolder temp;
  const auto file = [&](const char* name, const std::string& bytes) {
    const std::string path = join_path(temp.path(), name);
    write_bytes(path, bytes);
    return path;
  };
  const std::string png_start = "\x89PNG\r\n\x1A\n";
  const std::string largest = png_start + std::string(MAX_ICON_FILE_SIZE - 1 - png_start.size(), 'x');
  const std::string too_large = largest + "x";
  FakeLoader loader;
  loader.table = {
      {L"@{largest}", wide(file("largest.png", largest))},
      {L"@{too large}", wide(file("too_large.png", too_large))},
      {L"@{four}", wide(file("four.png", "\x89PNG"))},
      {L"@{three}", wide(file("three.png", "\x89PN"))},
      {L"@{not png}", wide(file("icon.ico", std::string("\0\0\1\0", 4) + std::string(1000, 'i')))},
      {L"@{missing}", wide(join_path(temp.path(), "missing.png"))},
      {L"@{folder}", wide(temp.path())},
      {L"@{program}", wide(test::tessiva_exe())},
  };
  const struct {
    std::wstring location;
    std::optional<std::string> want;
  } cases[] = {
      {L"@{largest}", largest},
      {L"@{four}", "\x89PNG"},
      {L"@{too large}", std::nullopt},
      {L"@{three}", std::nullopt},
      {L"@{not png}", std::nullopt},
      {L"@{missing}", std::nullopt},
      {L"@{folder}", std::nullopt},
      {L"@{unresolved}", std::nullopt},
      // Nothing is extracted from a program that an indirect string names.
      {L"@{program}", std::nullopt},
  };
  for (const auto& c : cases) {
    auto handlers = fakes({{.icon_location = c.location}});
    const auto infos = infos_of(handlers, true, loader.loader());
    ASSERT_EQ(infos.size(), 1u);
    const auto want = c.want ? std::optional(std::vector<std::byte>(reinterpret_cast<const std::byte*>(c.want->data()),
                                                                    reinterpret_cast<const std::byte*>(c.want->data()) +
                                                                        c.want->size()))
                             : std::nullopt;
    EXPECT_EQ(infos[0].icon_png, want) << narrow(c.location);
    EXPECT_EQ(loader.asked.back(), c.location) << "the whole location is resolved";
  }
}

TEST(HandlerEntries, IconsFromProgramLocations) {
  FakeLoader loader;
  const std::string exe = test::tessiva_exe();
  auto handlers = fakes({
      {.name = L"a", .icon_location = wide(exe), .icon_index = 0},
      {.name = L"b", .icon_location = wide(exe), .icon_index = 1000},
      {.name = L"c", .icon_location = std::nullopt},
      {.name = L"d", .icon_location = L""},
      {.name = L"e", .icon_location = wide(exe), .icon_result = E_FAIL},
      {.name = L"f", .icon_location = std::wstring(1, static_cast<wchar_t>(0xD800)) + L"@x"},
  });
  const auto infos = infos_of(handlers, true, loader.loader());
  ASSERT_EQ(infos.size(), 6u);
  ASSERT_TRUE(infos[0].icon_png) << exe;
  EXPECT_EQ(test::stored_png_pixels(*infos[0].icon_png, 32, 32).size(), 32u * 32 * 4);
  for (std::size_t i = 1; i < infos.size(); ++i) EXPECT_FALSE(infos[i].icon_png) << infos[i].id;
  EXPECT_TRUE(loader.asked.empty()) << "only locations beginning with @ are resolved";
}

TEST(HandlerEntries, SystemResolutionOfIndirectStrings) {
  // A plain text is copied as it is; a reference to a library that does not exist
  // cannot be resolved.
  EXPECT_EQ(load_indirect_string(L"C:\\icons\\app.png"), std::optional<std::wstring>(L"C:\\icons\\app.png"));
  EXPECT_EQ(load_indirect_string(L"@C:\\nowhere\\missing.dll,-1"), std::nullopt);
  EXPECT_EQ(handler_infos("tessiva-no-such-type", true).size(), 0u);
}

}  // namespace
}  // namespace tessiva::platform
