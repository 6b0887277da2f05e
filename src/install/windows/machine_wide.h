#pragma once
/// The machine-wide installation, made by the Windows installer package (MSI): what it
/// puts where, so that the package's source, the program and the self-check agree.
///
/// - The program and both manifests go into one folder, by default
///   "<64-bit Program Files>\Tessiva"; an administrator may choose another one.
/// - The manifests are the per-user installer's, except that their "path" is the bare
///   executable name (`MACHINE_MANIFEST_PATH`): both browser families resolve it next to
///   the manifest, so the package's files stay right wherever the folder is.
/// - The host keys of `HOST_BROWSERS` (`host_key`) are written under HKEY_LOCAL_MACHINE
///   in the 64-bit view, each naming its manifest by full path.
/// - `MACHINE_KEY` (HKEY_LOCAL_MACHINE, 64-bit view) holds `INSTALL_FOLDER_VALUE`, the
///   folder as the package resolved it (it ends with a backslash), and
///   `VERSION_VALUE`, the installed version ("0.1.0"). The package removes both.
/// - `MACHINE_BROWSERS_KEY` holds one value for each browser the package registered the
///   host with, named after the browser (`HostBrowser::name`) and holding its host key,
///   so that a browser an administrator left out is not taken for a broken one.

#include <string_view>

namespace tessiva::install {

inline constexpr std::string_view MACHINE_KEY = "Software\\Tessiva";
inline constexpr std::string_view INSTALL_FOLDER_VALUE = "InstallFolder";
inline constexpr std::string_view VERSION_VALUE = "Version";
inline constexpr std::string_view MACHINE_BROWSERS_KEY = "Software\\Tessiva\\Browsers";

/// The "path" of the manifests the package installs.
inline constexpr std::string_view MACHINE_MANIFEST_PATH = "tessiva.exe";

}  // namespace tessiva::install
