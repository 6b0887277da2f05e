// Writes the source of the machine-wide Windows installer package (WiX, for wixl) and
// the two manifests it installs, from the tables the per-user installer writes from:
// the browsers and their host keys, the manifests' text and file names, the folder's
// name. Run at build time (under Wine, as the Windows build makes it) in the folder that
// receives:
//   tessiva.wxs        the package; $(var.X) names what the packaging step gives wixl
//                      (Version, ProductCode, UpgradeCode); its files are named as
//                      they are installed (tessiva.exe, the manifests) and tessiva.ico,
//                      in the folder where wixl runs
//   <host>.chromium.json, <host>.firefox.json
//                      the manifests, whose "path" is the executable beside them
//   browsers.tsv       per browser: its component, the public property that leaves it
//                      out when it is not "1", and its host key (without the hive)

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "install/browsers.h"
#include "install/manifests.h"
#include "install/windows/installer.h"
#include "install/windows/machine_wide.h"
#include "messages/version.h"

namespace {

using namespace tessiva;

/// The text of an XML attribute value.
std::string xml(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

/// The last part of a Windows path.
std::string_view file_name(std::string_view path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

/// A browser's one-word name: the last word of the name the self-check prints
/// ("Google Chrome" is "Chrome").
std::string_view short_name(std::string_view name) {
  const auto space = name.find_last_of(' ');
  return space == std::string_view::npos ? name : name.substr(space + 1);
}

std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::fprintf(stderr, "make_wxs: cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

}  // namespace

int main() {
  const install::InstallLayout layout = install::install_layout("C:\\Program Files");
  const std::string folder_name(file_name(layout.install_folder));
  const std::string executable_name(file_name(layout.executable));
  const std::string chromium_name(file_name(layout.chromium_manifest));
  const std::string firefox_name(file_name(layout.firefox_manifest));

  std::string components;
  std::string references;
  std::string properties;
  std::string table;
  for (const auto& browser : install::HOST_BROWSERS) {
    const std::string name(short_name(browser.name));
    const std::string property = upper(name);
    const std::string component = "Host" + name;
    const std::string key = install::host_key(browser.key);
    const std::string& manifest = browser.family == install::BrowserFamily::Firefox ? firefox_name : chromium_name;
    properties += "    <Property Id=\"" + property + "\" Value=\"1\"/>\n";
    // The whole host key is the package's (it holds nothing else) and goes with it;
    // the browser's NativeMessagingHosts key above it may hold other hosts and stays.
    components += "          <Component Id=\"" + component + "\" Guid=\"*\" Win64=\"yes\">\n"
                  "            <RegistryKey Root=\"HKLM\" Key=\"" + xml(key) + "\" Action=\"createAndRemoveOnUninstall\">\n"
                  "              <RegistryValue Type=\"string\" Value=\"[INSTALLFOLDER]" + xml(manifest) +
                  "\" KeyPath=\"yes\"/>\n"
                  "            </RegistryKey>\n"
                  "            <RegistryValue Root=\"HKLM\" Key=\"" + xml(install::MACHINE_BROWSERS_KEY) + "\" Name=\"" +
                  xml(browser.name) + "\" Type=\"string\" Value=\"" + xml(key) + "\"/>\n"
                  "          </Component>\n";
    references += "      <ComponentRef Id=\"" + component + "\"/>\n";
    table += component + "\t" + property + "\t" + key + "\n";
  }

  const std::string product(messages::PRODUCT_NAME);
  const std::string machine_key(install::MACHINE_KEY);
  std::string wxs =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
      "  <Product Id=\"$(var.ProductCode)\" Name=\"" + xml(product) + "\" Language=\"1033\" "
      "Version=\"$(var.Version)\" Manufacturer=\"" + xml(install::PUBLISHER) + "\" "
      "UpgradeCode=\"$(var.UpgradeCode)\">\n"
      "    <Package InstallerVersion=\"500\" Compressed=\"yes\" InstallScope=\"perMachine\" "
      "Description=\"" + xml(product) + "\"/>\n"
      "    <MajorUpgrade DowngradeErrorMessage=\"A newer version of " + xml(product) +
      " is already installed. To install this version, uninstall the newer one first.\"/>\n"
      "    <Media Id=\"1\" Cabinet=\"tessiva.cab\" EmbedCab=\"yes\"/>\n"
      "    <Icon Id=\"tessiva.ico\" SourceFile=\"tessiva.ico\"/>\n"
      "    <Property Id=\"ARPPRODUCTICON\" Value=\"tessiva.ico\"/>\n" +
      properties +
      // An upgrade or repair keeps the folder the installed copy chose.
      "    <Property Id=\"INSTALLFOLDER\">\n"
      "      <RegistrySearch Id=\"InstalledFolder\" Root=\"HKLM\" Key=\"" + xml(machine_key) + "\" Name=\"" +
      xml(install::INSTALL_FOLDER_VALUE) + "\" Type=\"raw\" Win64=\"yes\"/>\n"
      "    </Property>\n"
      "    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">\n"
      "      <Directory Id=\"ProgramFiles64Folder\">\n"
      "        <Directory Id=\"INSTALLFOLDER\" Name=\"" + xml(folder_name) + "\">\n"
      "          <Component Id=\"Program\" Guid=\"*\" Win64=\"yes\">\n"
      "            <File Id=\"Executable\" Name=\"" + xml(executable_name) + "\" Source=\"" + xml(executable_name) + "\" "
      "KeyPath=\"yes\"/>\n"
      "            <File Id=\"ChromiumManifest\" Name=\"" + xml(chromium_name) + "\" Source=\"" +
      xml(chromium_name) + "\"/>\n"
      "            <File Id=\"FirefoxManifest\" Name=\"" + xml(firefox_name) + "\" Source=\"" +
      xml(firefox_name) + "\"/>\n"
      "            <RegistryKey Root=\"HKLM\" Key=\"" + xml(machine_key) + "\" Action=\"createAndRemoveOnUninstall\">\n"
      "              <RegistryValue Name=\"" + xml(install::INSTALL_FOLDER_VALUE) +
      "\" Type=\"string\" Value=\"[INSTALLFOLDER]\"/>\n"
      "              <RegistryValue Name=\"" + xml(install::VERSION_VALUE) +
      "\" Type=\"string\" Value=\"$(var.Version)\"/>\n"
      "            </RegistryKey>\n"
      "          </Component>\n" +
      components +
      "        </Directory>\n"
      "      </Directory>\n"
      "    </Directory>\n"
      "    <Feature Id=\"Host\" Level=\"1\">\n"
      "      <ComponentRef Id=\"Program\"/>\n" +
      references +
      "    </Feature>\n"
      "  </Product>\n"
      "</Wix>\n";

  const std::string manifest_path(install::MACHINE_MANIFEST_PATH);
  const bool ok = write("tessiva.wxs", wxs) &&
                  write(chromium_name, install::manifest_text(install::BrowserFamily::Chromium, manifest_path)) &&
                  write(firefox_name, install::manifest_text(install::BrowserFamily::Firefox, manifest_path)) &&
                  write("browsers.tsv", table);
  return ok ? 0 : 1;
}
