#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"
#include "platform/windows/windows.h"
#include "temp_folder.h"
#include "windows/wine.h"

namespace tessiva::platform {
namespace {

TEST(WindowsError, SystemTextWithoutTheLineBreak) {
  for (DWORD code : {DWORD{ERROR_FILE_NOT_FOUND}, DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_SHARING_VIOLATION}}) {
    const OsError e = os_error(code);
    EXPECT_EQ(e.code, code);
    ASSERT_FALSE(e.message.empty());
    EXPECT_NE(e.message.back(), '\n') << e.message;
    EXPECT_NE(e.message.back(), '\r') << e.message;
  }
  ::SetLastError(ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(last_os_error().code, DWORD{ERROR_PATH_NOT_FOUND});
  const OsError unknown = os_error(0x2AAAAAAA);
  EXPECT_FALSE(unknown.message.empty());
}

TEST(WindowsText, StrictAndLossyConversions) {
  EXPECT_EQ(widen("a\xC3\xA7\xF0\x9F\x93\x84"), std::wstring(L"a\u00E7\U0001F4C4"));
  EXPECT_EQ(narrow(L"a\u00E7\U0001F4C4"), "a\xC3\xA7\xF0\x9F\x93\x84");
  EXPECT_EQ(widen("a\xFF" "b"), std::wstring(L"a\uFFFDb"));
  EXPECT_FALSE(widen_strict("a\xFF" "b"));

  const wchar_t lone[] = {L'x', static_cast<wchar_t>(0xD800), L'y', 0};
  EXPECT_EQ(narrow(lone), "x\xEF\xBF\xBDy");
  EXPECT_FALSE(narrow_strict(lone));
}

TEST(WindowsText, PathsForTheWideFunctions) {
  EXPECT_EQ(wide_path("C:\\short\\name.txt").value(), L"C:\\short\\name.txt");
  EXPECT_EQ(wide_path("relative\\name").value(), L"relative\\name");
  EXPECT_EQ(wide_path("bad\xC0\xAFname").error().code, DWORD{ERROR_NO_UNICODE_TRANSLATION});
  EXPECT_EQ(wide_path(std::string("a\0b", 3)).error().code, DWORD{ERROR_INVALID_NAME});

  const std::string long_tail(300, 'x');
  const auto drive = wide_path("C:\\data\\" + long_tail);
  ASSERT_TRUE(drive);
  EXPECT_EQ(*drive, L"\\\\?\\C:\\data\\" + std::wstring(300, L'x'));
  const auto dotted = wide_path("C:\\data\\sub\\..\\" + long_tail);
  ASSERT_TRUE(dotted);
  EXPECT_EQ(*dotted, L"\\\\?\\C:\\data\\" + std::wstring(300, L'x')) << "made absolute before the prefix";
  const auto unc = wide_path("\\\\server\\share\\" + long_tail);
  ASSERT_TRUE(unc);
  EXPECT_EQ(*unc, L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'x'));
  const auto verbatim = wide_path("\\\\?\\C:\\" + long_tail);
  ASSERT_TRUE(verbatim);
  EXPECT_EQ(*verbatim, L"\\\\?\\C:\\" + std::wstring(300, L'x'));
}

TEST(WindowsUnique, ClosesWhatItOwnsExactlyOnce) {
  auto is_open = [](HANDLE h) {
    DWORD flags;
    return ::GetHandleInformation(h, &flags) != 0;
  };
  HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(raw, nullptr);
  {
    UniqueHandle owner(raw);
    UniqueHandle moved(std::move(owner));
    EXPECT_FALSE(owner);
    EXPECT_EQ(moved.get(), raw);
    EXPECT_TRUE(is_open(raw));
  }
  EXPECT_FALSE(is_open(raw));

  UniqueHandle kept(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE released = kept.release();
  EXPECT_FALSE(kept);
  EXPECT_TRUE(is_open(released));
  ::CloseHandle(released);

  UniqueFileHandle file;
  EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(file);
}

TEST(WindowsFiles, PathsLongerThanTheClassicLimit) {
  const test::TempFolder temp;
  std::string folder = temp.path();
  for (int i = 0; i < 4; ++i) folder = join_path(folder, std::string(80, static_cast<char>('a' + i)));
  ASSERT_GT(folder.size(), 300u);

  EXPECT_TRUE(create_folders(folder));
  const std::string file = join_path(folder, "file.txt");
  {
    auto f = create_exclusive(file);
    ASSERT_TRUE(f) << f.error().text();
    ASSERT_TRUE(f->write("long"));
  }
  EXPECT_EQ(read_file(file).value_or(""), "long");
  const auto attributes = file_attributes(file);
  ASSERT_TRUE(attributes) << attributes.error().text();
  EXPECT_EQ(attributes->size, 4u);
  const auto canonical = canonical_path(file);
  if (test::running_under_wine()) {
    // Wine 8's GetFinalPathNameByHandleW fails with ERROR_MORE_DATA for any final path
    // longer than MAX_PATH, whatever the buffer: the failure must come back as one.
    ASSERT_FALSE(canonical);
  } else {
    ASSERT_TRUE(canonical) << canonical.error().text();
    EXPECT_FALSE(canonical->starts_with("\\\\?\\")) << *canonical;
    EXPECT_TRUE(canonical->ends_with("file.txt"));
  }
  EXPECT_TRUE(rename_replace(file, join_path(folder, "moved.txt")));
  EXPECT_TRUE(copy_file(join_path(folder, "moved.txt"), file));
  EXPECT_TRUE(delete_file(file));
}

/// The names of the DLLs the image at `base` imports at load time, lower-cased.
std::vector<std::string> load_time_imports(const unsigned char* base) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<std::string> names;
  if (directory.VirtualAddress == 0) return names;
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); entry->Name;
       ++entry) {
    std::string name(reinterpret_cast<const char*>(base + entry->Name));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    names.push_back(name);
  }
  return names;
}

void expect_no_shell_or_com_imports(const std::vector<std::string>& imports, const std::string& what) {
  EXPECT_FALSE(imports.empty()) << what;
  for (const auto& name : imports) {
    EXPECT_NE(name, "shell32.dll") << what;
    EXPECT_NE(name, "ole32.dll") << what;
    EXPECT_NE(name, "combase.dll") << what;
    EXPECT_NE(name, "oleaut32.dll") << what;
  }
}

TEST(WindowsStartUp, ShellAndComLibrariesAreNotImportedAtLoadTime) {
  expect_no_shell_or_com_imports(
      load_time_imports(reinterpret_cast<const unsigned char*>(::GetModuleHandleW(nullptr))), "this test program");

  // The product itself, when it was built beside the tests.
  std::wstring self(MAX_PATH, L'\0');
  self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  const std::wstring product = self.substr(0, self.find_last_of(L'\\') + 1) + L"tessiva.exe";
  if (::GetFileAttributesW(product.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "tessiva.exe not built";
  // Mapped as an image, so that its addresses are relative to the mapping, but never run.
  const HMODULE image = ::LoadLibraryExW(product.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(image, nullptr) << last_os_error().text();
  // The low bits of such a handle only mark how it was loaded.
  const auto* base = reinterpret_cast<const unsigned char*>(reinterpret_cast<std::uintptr_t>(image) & ~std::uintptr_t{3});
  expect_no_shell_or_com_imports(load_time_imports(base), "tessiva.exe");
  ::FreeLibrary(image);
}

}  // namespace
}  // namespace tessiva::platform
