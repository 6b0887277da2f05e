#include "install/browsers.h"

namespace tessiva::install {

const std::vector<BrowserFolder>& browser_folders() {
  constexpr auto CHROMIUM = BrowserFamily::Chromium;
  constexpr auto FIREFOX = BrowserFamily::Firefox;
  constexpr std::string_view CHROME_HOSTS = "/etc/opt/chrome/native-messaging-hosts";
  constexpr std::string_view CHROME_POLICIES = "/etc/opt/chrome/policies/managed";
  constexpr std::string_view EDGE_HOSTS = "/etc/opt/edge/native-messaging-hosts";
  constexpr std::string_view EDGE_POLICIES = "/etc/opt/edge/policies/managed";
  constexpr std::string_view BRAVE_POLICIES = "/etc/brave/policies/managed";
  static const std::vector<BrowserFolder> folders = {
      // Opera reads Google Chrome's folder.
      {"Google Chrome", true, "google-chrome", "NativeMessagingHosts", CHROMIUM, true, {CHROME_HOSTS}, CHROME_POLICIES},
      {"Google Chrome Beta", true, "google-chrome-beta", "NativeMessagingHosts", CHROMIUM, false, {CHROME_HOSTS},
       CHROME_POLICIES},
      {"Google Chrome Unstable", true, "google-chrome-unstable", "NativeMessagingHosts", CHROMIUM, false,
       {CHROME_HOSTS}, CHROME_POLICIES},
      {"Chromium", true, "chromium", "NativeMessagingHosts", CHROMIUM, true, {"/etc/chromium/native-messaging-hosts"},
       "/etc/chromium/policies/managed"},
      {"Microsoft Edge", true, "microsoft-edge", "NativeMessagingHosts", CHROMIUM, false, {EDGE_HOSTS}, EDGE_POLICIES},
      {"Microsoft Edge Beta", true, "microsoft-edge-beta", "NativeMessagingHosts", CHROMIUM, false, {EDGE_HOSTS},
       EDGE_POLICIES},
      {"Microsoft Edge Dev", true, "microsoft-edge-dev", "NativeMessagingHosts", CHROMIUM, false, {EDGE_HOSTS},
       EDGE_POLICIES},
      // Brave and Vivaldi read Google Chrome's system folder.
      {"Brave", true, "BraveSoftware/Brave-Browser", "NativeMessagingHosts", CHROMIUM, false, {CHROME_HOSTS},
       BRAVE_POLICIES},
      {"Brave Beta", true, "BraveSoftware/Brave-Browser-Beta", "NativeMessagingHosts", CHROMIUM, false, {CHROME_HOSTS},
       BRAVE_POLICIES},
      {"Brave Nightly", true, "BraveSoftware/Brave-Browser-Nightly", "NativeMessagingHosts", CHROMIUM, false,
       {CHROME_HOSTS}, BRAVE_POLICIES},
      {"Vivaldi", true, "vivaldi", "NativeMessagingHosts", CHROMIUM, false, {CHROME_HOSTS}, {}},
      // The Firefox snap reads this folder too, through the desktop portal.
      {"Firefox", false, ".mozilla", "native-messaging-hosts", FIREFOX, true,
       {"/usr/lib/mozilla/native-messaging-hosts", "/usr/lib64/mozilla/native-messaging-hosts"}, {}},
      {"LibreWolf", false, ".librewolf", "native-messaging-hosts", FIREFOX, false, {}, {}},
      {"Waterfox", false, ".waterfox", "native-messaging-hosts", FIREFOX, false, {}, {}},
  };
  return folders;
}

const std::vector<FlatpakBrowser>& flatpak_browsers() {
  static const std::vector<FlatpakBrowser> browsers = {
      {"Google Chrome", "com.google.Chrome", "config/google-chrome/NativeMessagingHosts", BrowserFamily::Chromium},
      {"Chromium", "org.chromium.Chromium", "config/chromium/NativeMessagingHosts", BrowserFamily::Chromium},
      {"Microsoft Edge", "com.microsoft.Edge", "config/microsoft-edge/NativeMessagingHosts", BrowserFamily::Chromium},
      {"Brave", "com.brave.Browser", "config/BraveSoftware/Brave-Browser/NativeMessagingHosts",
       BrowserFamily::Chromium},
      {"Vivaldi", "com.vivaldi.Vivaldi", "config/vivaldi/NativeMessagingHosts", BrowserFamily::Chromium},
      {"Firefox", "org.mozilla.firefox", ".mozilla/native-messaging-hosts", BrowserFamily::Firefox},
      {"LibreWolf", "io.gitlab.librewolf-community", ".librewolf/native-messaging-hosts", BrowserFamily::Firefox},
      {"Waterfox", "net.waterfox.waterfox", ".waterfox/native-messaging-hosts", BrowserFamily::Firefox},
  };
  return browsers;
}

}  // namespace tessiva::install
