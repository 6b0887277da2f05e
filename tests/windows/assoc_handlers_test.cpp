// Finding a handler again by its identifier and invoking it, with fake handlers and
// enumerators that count their references (Wine registers no handlers of its own), and
// the launcher child's shell actions on the real system.

#include "platform/windows/assoc_handlers.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <shlobj.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/files.h"
#include "platform/launch.h"
#include "platform/windows/com.h"
#include "platform/windows/dynamic_library.h"
#include "platform/windows/launch.h"
#include "platform/windows/win_error.h"
#include "fake_assoc.h"
#include "temp_folder.h"

namespace tessiva::platform {
namespace {

using Microsoft::WRL::ComPtr;

using test::FakeEnumerator;
using test::FakeHandler;

class HandlerSet {
 public:
  explicit HandlerSet(std::vector<std::unique_ptr<FakeHandler>> handlers) : handlers_(std::move(handlers)) {}
  std::vector<FakeHandler*> raw() const {
    std::vector<FakeHandler*> out;
    for (const auto& h : handlers_) out.push_back(h.get());
    return out;
  }
  FakeHandler* operator[](std::size_t i) const { return handlers_[i].get(); }
  std::size_t size() const { return handlers_.size(); }
  void expect_released() const {
    for (std::size_t i = 0; i < handlers_.size(); ++i) EXPECT_EQ(handlers_[i]->references, 1u) << "handler " << i;
  }

 private:
  std::vector<std::unique_ptr<FakeHandler>> handlers_;
};

const std::wstring LONE_SURROGATE(1, static_cast<wchar_t>(0xD83D));

HandlerSet named_handlers() {
  std::vector<std::unique_ptr<FakeHandler>> h;
  h.push_back(std::make_unique<FakeHandler>(L"Acro", E_FAIL));          // 0: name unreadable
  h.push_back(std::make_unique<FakeHandler>(std::nullopt));              // 1: no name text
  h.push_back(std::make_unique<FakeHandler>(L"Ac" + LONE_SURROGATE));   // 2: not UTF-16: empty
  h.push_back(std::make_unique<FakeHandler>(L"C:\\Programme\\\u00C9dit.exe"));  // 3
  h.push_back(std::make_unique<FakeHandler>(L"Acro"));                   // 4
  h.push_back(std::make_unique<FakeHandler>(L"Acro"));                   // 5: same name, later
  h.push_back(std::make_unique<FakeHandler>(L"acro"));                   // 6
  h.push_back(std::make_unique<FakeHandler>(L"Acro "));                  // 7
  return HandlerSet(std::move(h));
}

TEST(FindHandler, FirstExactMatchOfTheNameBytes) {
  const HandlerSet handlers = named_handlers();
  struct Case {
    std::string id;
    std::optional<std::size_t> want;
  };
  const Case cases[] = {
      {"Acro", 4},  // not the unreadable first one, not the later duplicate
      {"acro", 6},
      {"Acro ", 7},
      {"C:\\Programme\\\xc3\x89" "dit.exe", 3},
      {"C:\\programme\\\xc3\x89" "dit.exe", std::nullopt},
      {"C:\\Programme\\E\xcc\x81" "dit.exe", std::nullopt},  // another normalisation
      {"", 2},  // a name that is not UTF-16 counts as the empty text
      {"Ac", std::nullopt},
      {"Acr", std::nullopt},
      {"nothing", std::nullopt},
  };
  for (const auto& c : cases) {
    FakeEnumerator enumerator(handlers.raw());
    {
      const ComPtr<IAssocHandler> found = find_handler(&enumerator, c.id);
      if (c.want) {
        EXPECT_EQ(found.Get(), handlers[*c.want]) << c.id;
        EXPECT_EQ(handlers[*c.want]->references, 2u) << "the caller holds the one found";
      } else {
        EXPECT_EQ(found.Get(), nullptr) << c.id;
      }
    }
    EXPECT_EQ(enumerator.references, 1u);
    handlers.expect_released();
  }
}

TEST(FindHandler, EnumerationStopsAt101AndSkipsNullHandlers) {
  std::vector<std::unique_ptr<FakeHandler>> made;
  for (int i = 0; i < 150; ++i) made.push_back(std::make_unique<FakeHandler>(L"h" + std::to_wstring(i)));
  const HandlerSet handlers(std::move(made));
  std::vector<FakeHandler*> delivered = handlers.raw();
  delivered.insert(delivered.begin() + 3, nullptr);
  delivered.insert(delivered.begin(), nullptr);

  {
    FakeEnumerator enumerator(delivered);
    const AssocHandlers collected = collect_handlers(&enumerator);
    ASSERT_EQ(collected.size(), MAX_HANDLERS);
    EXPECT_EQ(enumerator.next_calls, MAX_HANDLERS + 2) << "no call after the 101st handler";
    for (std::size_t i = 0; i < collected.size(); ++i) EXPECT_EQ(collected[i].Get(), handlers[i]);
  }
  handlers.expect_released();

  for (const auto& [id, found] : {std::pair{"h100", true}, std::pair{"h101", false}, std::pair{"h149", false}}) {
    FakeEnumerator enumerator(delivered);
    EXPECT_EQ(find_handler(&enumerator, id) != nullptr, found) << id;
    handlers.expect_released();
  }
}

TEST(FindHandler, AFailingEnumeratorKeepsWhatItDelivered) {
  std::vector<std::unique_ptr<FakeHandler>> made;
  made.push_back(std::make_unique<FakeHandler>(L"one"));
  made.push_back(std::make_unique<FakeHandler>(L"two"));
  const HandlerSet handlers(std::move(made));
  {
    FakeEnumerator enumerator(handlers.raw(), E_UNEXPECTED);
    EXPECT_EQ(collect_handlers(&enumerator).size(), 2u);
    EXPECT_EQ(enumerator.next_calls, 3u);
  }
  {
    FakeEnumerator enumerator(handlers.raw(), E_UNEXPECTED);
    EXPECT_EQ(find_handler(&enumerator, "two").Get(), handlers[1]);
  }
  {
    FakeEnumerator empty({});
    EXPECT_TRUE(collect_handlers(&empty).empty());
    EXPECT_EQ(find_handler(&empty, "one"), nullptr);
  }
  EXPECT_TRUE(collect_handlers(nullptr).empty());
  handlers.expect_released();
}

TEST(FindHandler, AnEnumeratorOfNullsCannotHoldTheCaller) {
  FakeEnumerator nulls(std::vector<FakeHandler*>(100000, nullptr));
  EXPECT_TRUE(collect_handlers(&nulls).empty());
  EXPECT_EQ(nulls.next_calls, MAX_ENUMERATION_CALLS);
}

/// A shell item for a file of the test's own.
struct ShellFile {
  test::TempFolder temp;
  std::string path = join_path(temp.path(), "R\xc3\xa9sum\xc3\xa9 1.pdf");
  ComPtr<IShellItem> item;

  ShellFile() {
    auto file = create_truncate(path);
    EXPECT_TRUE(file);
    enter_com_apartment();
    static LazyFunction<decltype(::SHCreateItemFromParsingName)> create{shell32, "SHCreateItemFromParsingName"};
    EXPECT_TRUE(SUCCEEDED(create.get()(widen(path).c_str(), nullptr, IID_PPV_ARGS(item.GetAddressOf()))));
  }
};

TEST(InvokeHandler, InvokeReceivesTheFilesDataObject) {
  ShellFile file;
  ASSERT_TRUE(file.item);
  FakeHandler handler(L"viewer");
  EXPECT_TRUE(invoke_on_item(&handler, file.item.Get()));
  EXPECT_EQ(handler.invoke_calls, 1);
  EXPECT_EQ(handler.invoked_files, std::vector<std::wstring>{widen(file.path)});
  EXPECT_EQ(handler.references, 1u);

  handler.invoke_result = E_ACCESSDENIED;
  const auto refused = invoke_on_item(&handler, file.item.Get());
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code, static_cast<std::uint32_t>(E_ACCESSDENIED));
  EXPECT_EQ(handler.references, 1u);
}

TEST(InvokeHandler, NoRegisteredHandlerMatchesAnUnknownId) {
  test::TempFolder temp;
  const std::string path = join_path(temp.path(), "a.tessiva-none");
  ASSERT_TRUE(create_truncate(path));
  const auto outcome = invoke_handler("tessiva-none", "no such handler", path);
  ASSERT_FALSE(outcome);
  EXPECT_EQ(outcome.error().message, "handler_not_found");
  EXPECT_FALSE(invoke_handler("txt", "x", "C:\\a\xff.txt")) << "a path that is not UTF-8";
}

TEST(RevealInExplorer, APathThatCannotBeParsedFails) {
  test::TempFolder temp;
  EXPECT_FALSE(reveal_in_file_manager(join_path(temp.path(), "missing\\deeper\\file.txt")));
  EXPECT_FALSE(reveal_in_file_manager("C:\\a\xff.txt"));
}

std::wstring system_folder() {
  std::wstring folder(MAX_PATH, L'\0');
  folder.resize(::GetSystemDirectoryW(folder.data(), MAX_PATH));
  return folder;
}

std::optional<std::string> wait_for_file(const std::string& path) {
  for (int i = 0; i < 200; ++i) {
    if (auto text = read_file(path); text && !text->empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return read_file(path).value_or(*text);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return std::nullopt;
}

TEST(StartApplication, RunsTheCommandLineAsGivenInTheProgramsFolder) {
  test::TempFolder temp;
  const std::string out = join_path(temp.path(), "out put.txt");
  const std::string cmd = narrow(system_folder()) + "\\cmd.exe";
  // "cd" prints the working directory; the redirection target is quoted as given.
  const std::string line = "\"" + cmd + "\" /c cd> \"" + out + "\"";
  ASSERT_TRUE(start_application(cmd, line));
  const auto text = wait_for_file(out);
  ASSERT_TRUE(text);
  std::string folder = *text;
  while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r')) folder.pop_back();
  EXPECT_EQ(CompareStringOrdinal(widen(folder).c_str(), -1, system_folder().c_str(), -1, TRUE), CSTR_EQUAL)
      << folder;

  const auto missing = start_application(join_path(temp.path(), "missing.exe"), "\"x\"");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, DWORD{ERROR_FILE_NOT_FOUND});
}

}  // namespace
}  // namespace tessiva::platform
