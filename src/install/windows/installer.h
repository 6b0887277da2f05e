#pragma once
/// The per-user installation: where the program goes, the native messaging manifests,
/// the registry values that announce it to the browsers and to the list of installed
/// programs, and the installer's flow.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "install/browsers.h"
#include "install/manifests.h"
#include "install/windows/environment.h"
#include "messages/version.h"
#include "platform/windows/registry.h"

namespace tessiva::install {

/// The installed executable's name and the names beside it. The folder under the
/// programs folder is the product's name (`messages::PRODUCT_NAME`).
inline constexpr std::string_view EXECUTABLE_NAME = "tessiva.exe";
inline constexpr std::string_view PUBLISHER = "Orbelle Software";

/// "<browser_key>\NativeMessagingHosts\" followed by the host name: where a browser
/// whose key is `browser_key` looks for the host.
[[nodiscard]] std::string host_key(std::string_view browser_key);

/// The keys (under HKEY_CURRENT_USER) of `HOST_BROWSERS`, in that order.
[[nodiscard]] std::array<std::string, 4> host_keys();
/// The key of the entry in the list of installed programs.
inline constexpr std::string_view UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessiva";
static_assert(UNINSTALL_KEY.ends_with(messages::PRODUCT_NAME) &&
                  UNINSTALL_KEY[UNINSTALL_KEY.size() - messages::PRODUCT_NAME.size() - 1] == '\\',
              "the entry is named after the product");

/// Every path of an installation in a given programs folder.
struct InstallLayout {
  std::string install_folder;
  std::string executable;
  /// Where an executable that cannot be deleted (it is running) is moved aside.
  std::string previous_executable;
  /// Where the new executable is copied before it takes the installed one's place,
  /// so that a failed copy leaves the installed program as it was.
  std::string staged_executable;
  std::string chromium_manifest;
  std::string firefox_manifest;
};

[[nodiscard]] InstallLayout install_layout(std::string_view programs_folder);

/// One host key and the manifest its default value names.
struct HostRegistration {
  std::string key;
  std::string manifest;

  friend bool operator==(const HostRegistration&, const HostRegistration&) = default;
};

/// The four host keys in the order they are written, each with its manifest.
[[nodiscard]] std::vector<HostRegistration> host_registrations(const InstallLayout& layout);

/// "EstimatedSize": the size in KiB rounded down, 0 when unknown, at most 2^32 - 1.
[[nodiscard]] std::uint32_t estimated_size(std::optional<std::uint64_t> bytes) noexcept;

/// The nine values of the uninstall entry, in the order they are written.
[[nodiscard]] std::vector<platform::RegistryValue> uninstall_entry(const InstallLayout& layout,
                                                                   std::optional<std::uint64_t> executable_size);

/// Installs or updates the program for the current user and returns the exit code:
/// EXIT_DONE, EXIT_FAILED (also when there is no programs folder) or EXIT_DECLINED.
/// `quiet` shows no message box; otherwise every failure is shown.
///
/// Beside an installation for all users: the program installed for all users installs
/// nothing, says so with how to remove it (`tell`, unless `quiet`) and returns
/// EXIT_DONE. Any other copy installs for the user only with `per_user` or after a
/// question whose default is No (EXIT_DECLINED); quiet, it refuses on standard error
/// with EXIT_INSTALLED_FOR_ALL_USERS.
[[nodiscard]] int run_installer(InstallEnvironment& environment, bool quiet, bool per_user = false);

}  // namespace tessiva::install
