// The installer and the uninstaller on the real system: files in a temporary programs
// folder (Wine provides none of its own), keys in the prefix's HKEY_CURRENT_USER, and
// the background removal through the real command processor. Every test removes the
// keys it wrote.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "install/windows/installer.h"
#include "install/windows/uninstaller.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/windows/registry.h"
#include "platform/windows/unique.h"
#include "platform/windows/win_error.h"
#include "platform/windows/windows.h"
#include "temp_folder.h"

namespace tessiva::install {
namespace {

using platform::RegistryData;

/// The real system with the programs folder given by the test.
class TestEnvironment : public SystemEnvironment {
 public:
  explicit TestEnvironment(std::string programs) : programs_(std::move(programs)) {}
  platform::Result<std::string> programs_folder() override { return programs_; }

 private:
  std::string programs_;
};

/// A value as the registry holds it: its type and its raw bytes.
struct RawValue {
  DWORD type = 0;
  std::vector<BYTE> bytes;
};

std::optional<RawValue> raw_value(const std::string& key, const std::string& name) {
  platform::UniqueKey opened;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, platform::widen(key).c_str(), 0, KEY_QUERY_VALUE, opened.put()) !=
      ERROR_SUCCESS)
    return std::nullopt;
  RawValue value;
  DWORD size = 0;
  const std::wstring wide_name = platform::widen(name);
  if (::RegQueryValueExW(opened.get(), wide_name.c_str(), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  value.bytes.resize(size);
  if (::RegQueryValueExW(opened.get(), wide_name.c_str(), nullptr, &value.type, value.bytes.data(), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  value.bytes.resize(size);
  return value;
}

bool key_exists(const std::string& key) {
  platform::UniqueKey opened;
  return ::RegOpenKeyExW(HKEY_CURRENT_USER, platform::widen(key).c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS;
}

/// Checks one REG_SZ value: the UTF-16 text followed by its NUL, counted in the size.
void expect_string_value(const std::string& key, const std::string& name, const std::string& text) {
  const auto value = raw_value(key, name);
  ASSERT_TRUE(value) << key << " " << name;
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ)) << key << " " << name;
  std::wstring want = platform::widen(text);
  want.push_back(L'\0');
  ASSERT_EQ(value->bytes.size(), want.size() * sizeof(wchar_t)) << key << " " << name;
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(value->bytes.data()), want.size()), want)
      << key << " " << name;
}

void expect_dword_value(const std::string& key, const std::string& name, std::uint32_t number) {
  const auto value = raw_value(key, name);
  ASSERT_TRUE(value) << key << " " << name;
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD)) << key << " " << name;
  const std::vector<BYTE> want = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                                  static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
  EXPECT_EQ(value->bytes, want) << key << " " << name;
}

void delete_installation_keys() {
  for (const auto& key : host_keys()) (void)platform::delete_registry_tree(key);
  (void)platform::delete_registry_tree(std::string(UNINSTALL_KEY));
}

std::string read_bytes(const std::string& path) {
  auto bytes = platform::read_file(path);
  return bytes ? *bytes : "<" + path + ": " + bytes.error().text() + ">";
}

bool exists(const std::string& path) { return platform::file_attributes(path).has_value(); }

/// Keeps a file mapped as a program image, as a running program's executable is: it
/// can be renamed but not deleted.
class MappedImage {
 public:
  explicit MappedImage(const std::string& path)
      : module_(::LoadLibraryExW(platform::widen(path).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES)) {}
  ~MappedImage() { release(); }
  MappedImage(const MappedImage&) = delete;
  MappedImage& operator=(const MappedImage&) = delete;
  [[nodiscard]] bool is_mapped() const { return module_ != nullptr; }
  void release() {
    if (module_) ::FreeLibrary(module_);
    module_ = nullptr;
  }

 private:
  HMODULE module_;
};

class WindowsInstall : public testing::Test {
 protected:
  WindowsInstall()
      : programs_(platform::join_path(temp_.path(), "Programs")), environment_(programs_), layout_(install_layout(programs_)) {
    delete_installation_keys();
    const auto running = platform::executable_path();
    running_bytes_ = running ? read_bytes(*running) : "";
  }
  ~WindowsInstall() override { delete_installation_keys(); }

  void expect_installed() {
    EXPECT_EQ(read_bytes(layout_.executable), running_bytes_);
    EXPECT_FALSE(exists(layout_.staged_executable));

    const std::string path = layout_.executable;
    EXPECT_EQ(read_bytes(layout_.chromium_manifest), chromium_manifest(path));
    EXPECT_EQ(read_bytes(layout_.firefox_manifest), firefox_manifest(path));
    // The JSON text holds every backslash of the path doubled.
    std::string doubled;
    for (char c : path) doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
    EXPECT_NE(read_bytes(layout_.chromium_manifest).find("  \"path\": \"" + doubled + "\",\n"), std::string::npos);
    EXPECT_NE(read_bytes(layout_.firefox_manifest).find("  \"path\": \"" + doubled + "\",\n"), std::string::npos);

    const auto keys = host_keys();
    for (std::size_t i = 0; i < keys.size(); ++i) {
      expect_string_value(keys[i], "", i < 3 ? layout_.chromium_manifest : layout_.firefox_manifest);
    }
    const std::string uninstall(UNINSTALL_KEY);
    expect_string_value(uninstall, "DisplayName", "Tessiva");
    expect_string_value(uninstall, "DisplayVersion", "0.1.0");
    expect_string_value(uninstall, "Publisher", "Orbelle Software");
    expect_string_value(uninstall, "DisplayIcon", path);
    expect_string_value(uninstall, "InstallLocation", layout_.install_folder);
    expect_string_value(uninstall, "UninstallString", "\"" + path + "\" --uninstall");
    expect_dword_value(uninstall, "NoModify", 1);
    expect_dword_value(uninstall, "NoRepair", 1);
    expect_dword_value(uninstall, "EstimatedSize", static_cast<std::uint32_t>(running_bytes_.size() / 1024));
  }

  test::TempFolder temp_;
  std::string programs_;
  TestEnvironment environment_;
  InstallLayout layout_;
  std::string running_bytes_;
};

TEST_F(WindowsInstall, QuietFirstInstallThenUpdateInPlace) {
  ASSERT_FALSE(running_bytes_.empty());
  ASSERT_EQ(run_installer(environment_, true), EXIT_DONE);
  expect_installed();
  EXPECT_FALSE(exists(layout_.previous_executable));

  // An older version in place: the update replaces it and every registration.
  ASSERT_TRUE(platform::create_truncate(layout_.executable)->write(std::string_view("old version")));
  ASSERT_TRUE(platform::set_registry_value(host_keys()[2], {"", std::string("stale")}));
  ASSERT_EQ(run_installer(environment_, true), EXIT_DONE);
  expect_installed();
  EXPECT_FALSE(exists(layout_.previous_executable));
}

TEST_F(WindowsInstall, RunningOldExecutableIsMovedAsideAndDeletedByTheNextUpdate) {
  ASSERT_EQ(run_installer(environment_, true), EXIT_DONE);
  {
    MappedImage running_host(layout_.executable);
    ASSERT_TRUE(running_host.is_mapped()) << platform::last_os_error().text();
    ASSERT_FALSE(platform::delete_file(layout_.executable));  // what makes the move necessary

    ASSERT_EQ(run_installer(environment_, true), EXIT_DONE);
    expect_installed();
    EXPECT_EQ(read_bytes(layout_.previous_executable), running_bytes_);
  }
  ASSERT_EQ(run_installer(environment_, true), EXIT_DONE);
  expect_installed();
  EXPECT_FALSE(exists(layout_.previous_executable));
}

TEST_F(WindowsInstall, ExecutableOpenWithoutDeleteSharingFailsTheUpdate) {
  ASSERT_EQ(run_installer(environment_, true), EXIT_DONE);
  // Such a handle blocks renaming as well as deleting: the update cannot go on, and
  // the installed program stays as it was.
  platform::UniqueFileHandle locked(::CreateFileW(platform::widen(layout_.executable).c_str(), GENERIC_READ,
                                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(locked) << platform::last_os_error().text();
  EXPECT_EQ(run_installer(environment_, true), EXIT_FAILED);
  locked.reset();
  EXPECT_EQ(read_bytes(layout_.executable), running_bytes_);
  EXPECT_FALSE(exists(layout_.staged_executable));
  EXPECT_FALSE(exists(layout_.previous_executable));
}

TEST_F(WindowsInstall, QuietUninstallRemovesWhatItInstalledAndLaterOnlyTheFileInUse) {
  ASSERT_EQ(run_installer(environment_, true), EXIT_DONE);
  ASSERT_TRUE(platform::create_truncate(layout_.previous_executable)->write(std::string_view("leftover")));
  ASSERT_TRUE(platform::set_registry_value(host_keys()[0] + "\\Sub", {"x", std::uint32_t{1}}));

  auto running_host = std::make_unique<MappedImage>(layout_.executable);
  ASSERT_TRUE(running_host->is_mapped());
  ASSERT_EQ(run_uninstaller(environment_, true), EXIT_DONE);
  for (const auto& key : host_keys()) EXPECT_FALSE(key_exists(key)) << key;
  EXPECT_FALSE(key_exists(std::string(UNINSTALL_KEY)));
  // At once: the folder is gone, the executable in use waits under a name of its own.
  EXPECT_FALSE(exists(layout_.install_folder));
  const std::string moved = platform::join_path(programs_, removed_file_name(platform::process_id(), 1));
  EXPECT_TRUE(exists(moved));

  // A new install made now is not touched by the delayed removal.
  ASSERT_EQ(run_installer(environment_, true), EXIT_DONE);
  running_host.reset();
  const auto started = std::chrono::steady_clock::now();
  while (exists(moved) && std::chrono::steady_clock::now() - started < std::chrono::seconds(30)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_FALSE(exists(moved));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  expect_installed();

  // A folder the installer did not make keeps the install folder; the files go.
  ASSERT_TRUE(platform::create_folders(platform::join_path(layout_.install_folder, "sub")));
  ASSERT_EQ(run_uninstaller(environment_, true), EXIT_DONE);
  EXPECT_FALSE(exists(layout_.executable));
  EXPECT_FALSE(exists(layout_.chromium_manifest));
  EXPECT_TRUE(exists(platform::join_path(layout_.install_folder, "sub")));
  // Nothing is left to remove: the second run finishes the same way.
  EXPECT_EQ(run_uninstaller(environment_, true), EXIT_DONE);
}

TEST(WindowsRegistry, ValuesRoundTripWithTheirTypes) {
  const std::string key = "Software\\Tessiva Test " + std::to_string(::GetCurrentProcessId());
  const struct {
    platform::RegistryValue value;
    DWORD type;
    std::size_t size;
  } cases[] = {
      {{"", std::string("C:\\Programs\\Tessiva\\x.json")}, REG_SZ, 27 * 2},
      {{"Empty", std::string()}, REG_SZ, 2},
      {{"Text", std::string("Configuração ¿sí? \xF0\x9F\x98\x80")}, REG_SZ, 21 * 2},
      {{"Number", std::uint32_t{0x01020304}}, REG_DWORD, 4},
      {{"Large", std::uint64_t{0x0102030405060708}}, REG_QWORD, 8},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(platform::set_registry_value(key + "\\Sub", c.value)) << c.value.name;
    const auto raw = raw_value(key + "\\Sub", c.value.name);
    ASSERT_TRUE(raw) << c.value.name;
    EXPECT_EQ(raw->type, c.type) << c.value.name;
    EXPECT_EQ(raw->bytes.size(), c.size) << c.value.name;
    if (const auto* text = std::get_if<std::string>(&c.value.data)) {
      expect_string_value(key + "\\Sub", c.value.name, *text);
    } else if (const auto* number = std::get_if<std::uint32_t>(&c.value.data)) {
      expect_dword_value(key + "\\Sub", c.value.name, *number);
    } else {
      const std::uint64_t large = std::get<std::uint64_t>(c.value.data);
      std::vector<BYTE> want;
      for (int shift = 0; shift < 64; shift += 8) want.push_back(static_cast<BYTE>(large >> shift));
      EXPECT_EQ(raw->bytes, want) << c.value.name;
    }
  }
  // Read back as written, in either view of the user's hive (which both share).
  const auto hive = platform::RegistryHive::CurrentUser;
  for (const auto view : {platform::RegistryView::Bits32, platform::RegistryView::Bits64}) {
    std::vector<platform::RegistryValue> want;
    for (const auto& c : cases) {
      const auto read = platform::read_registry_value(hive, view, key + "\\Sub", c.value.name);
      ASSERT_TRUE(read) << c.value.name;
      EXPECT_EQ(*read, c.value.data) << c.value.name;
      want.push_back(c.value);
    }
    auto all = platform::read_registry_values(hive, view, key + "\\Sub");
    ASSERT_TRUE(all);
    std::ranges::sort(*all, {}, &platform::RegistryValue::name);
    std::ranges::sort(want, {}, &platform::RegistryValue::name);
    EXPECT_EQ(*all, want);
  }
  const auto missing_value = platform::read_registry_value(hive, platform::RegistryView::Bits64, key + "\\Sub", "Missing");
  ASSERT_FALSE(missing_value);
  EXPECT_TRUE(platform::is_not_found(missing_value.error()));
  const auto missing_key = platform::read_registry_values(hive, platform::RegistryView::Bits64, key + "\\None");
  ASSERT_FALSE(missing_key);
  EXPECT_TRUE(platform::is_not_found(missing_key.error()));
  // Text to be expanded comes expanded; binary data is not read as text.
  {
    platform::UniqueKey opened;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, platform::widen(key + "\\Sub").c_str(), 0, KEY_SET_VALUE,
                              opened.put()),
              ERROR_SUCCESS);
    const wchar_t expand[] = L"%SystemRoot%\\x";
    ASSERT_EQ(::RegSetValueExW(opened.get(), L"Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expand),
                               sizeof expand),
              ERROR_SUCCESS);
    const BYTE binary[] = {1, 2, 3};
    ASSERT_EQ(::RegSetValueExW(opened.get(), L"Binary", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
  }
  const auto expanded = platform::read_registry_value(hive, platform::RegistryView::Bits64, key + "\\Sub", "Expand");
  ASSERT_TRUE(expanded);
  const std::string expanded_text = std::get<std::string>(*expanded);
  EXPECT_TRUE(expanded_text.ends_with("\\x") && !expanded_text.starts_with("%")) << expanded_text;
  EXPECT_FALSE(platform::read_registry_value(hive, platform::RegistryView::Bits64, key + "\\Sub", "Binary"));
  const auto with_others = platform::read_registry_values(hive, platform::RegistryView::Bits64, key + "\\Sub");
  ASSERT_TRUE(with_others);
  EXPECT_EQ(with_others->size(), std::size(cases) + 1);

  // Ill-formed text and names are refused rather than written under another name.
  EXPECT_FALSE(platform::set_registry_value(key, {"bad\xff", std::uint32_t{1}}));
  EXPECT_FALSE(platform::set_registry_value(key, {"x", std::string("bad\xff")}));
  EXPECT_FALSE(raw_value(key + "\\Sub", "Missing"));

  ASSERT_TRUE(platform::delete_registry_tree(key));
  EXPECT_FALSE(key_exists(key));
  EXPECT_FALSE(platform::delete_registry_tree(key));
  EXPECT_FALSE(platform::delete_registry_tree(""));
}

}  // namespace
}  // namespace tessiva::install
