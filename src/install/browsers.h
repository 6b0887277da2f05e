#pragma once
/// The browsers the installers register the host with and the self-check looks up:
/// one table per system. Each browser carries its family (which form of the manifest it
/// reads), the places it reads manifests from and the places of its policies.

#include <array>
#include <string_view>
#include <vector>

#include "messages/caller.h"

namespace tessiva::install {

using messages::BrowserFamily;

// Windows: registry keys below a hive's root.

/// A browser the Windows installer registers the host with.
struct HostBrowser {
  /// The browser's name as the self-check prints it.
  std::string_view name;
  /// The browser's key; the host's key is below it (`host_key`).
  std::string_view key;
  BrowserFamily family;
  /// The keys of other browsers that it reads after its own, in order.
  std::array<std::string_view, 2> fallbacks;
  /// The key of its policies under either hive; empty when none are read.
  std::string_view policies;
};

/// Chrome, Edge, Chromium and Firefox, in the order their keys are written.
inline constexpr std::array<HostBrowser, 4> HOST_BROWSERS{{
    {"Google Chrome", "Software\\Google\\Chrome", BrowserFamily::Chromium, {}, "Software\\Policies\\Google\\Chrome"},
    // Edge reads the Chromium and Chrome registrations when it has none of its own.
    {"Microsoft Edge", "Software\\Microsoft\\Edge", BrowserFamily::Chromium,
     {"Software\\Chromium", "Software\\Google\\Chrome"}, "Software\\Policies\\Microsoft\\Edge"},
    {"Chromium", "Software\\Chromium", BrowserFamily::Chromium, {}, {}},
    {"Firefox", "Software\\Mozilla", BrowserFamily::Firefox, {}, {}},
}};

// Linux: folders below the home folder and under /etc and /usr.

/// A browser that reads native messaging manifests from a folder of the user's.
struct BrowserFolder {
  /// The browser's name as printed.
  std::string_view name;
  /// True when the folder is under $XDG_CONFIG_HOME, false when under the home folder.
  bool in_config_home;
  /// The browser's own folder, relative to its base; its presence means the browser is
  /// there.
  std::string_view browser_folder;
  /// The manifests' folder inside the browser's.
  std::string_view hosts_folder;
  BrowserFamily family;
  /// Written even when the browser's folder is missing.
  bool always;
  /// The system's manifest folders it reads after the user's, in order.
  std::vector<std::string_view> system_manifests;
  /// Its managed policy files (*.json); empty for browsers without policies read here.
  std::string_view policies;
};

/// Every browser the Linux installer writes for, in the order the lines are printed.
[[nodiscard]] const std::vector<BrowserFolder>& browser_folders();

/// A browser packaged as a Flatpak, whose sandbox only sees its own folder under
/// ~/.var/app.
struct FlatpakBrowser {
  std::string_view name;
  std::string_view app_id;
  /// Where the sandboxed browser looks for manifests, relative to ~/.var/app/<app_id>.
  std::string_view hosts_folder;
  BrowserFamily family;
};

[[nodiscard]] const std::vector<FlatpakBrowser>& flatpak_browsers();

}  // namespace tessiva::install
