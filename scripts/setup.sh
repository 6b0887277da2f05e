#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmarks and the
# demonstration need. Idempotent: when everything is present it only checks and exits.
# Run as root (or with sudo available) on Debian 12.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config lld
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  nlohmann-json3-dev rapidjson-dev googletest libgtest-dev libbenchmark-dev
  libpng-dev
  wine wine64 xvfb xauth x11-utils xdotool imagemagick openbox
  clang-19 libclang-rt-19-dev
  libglib2.0-dev libgtk-3-dev dbus-daemon dbus-bin python3-gi gir1.2-glib-2.0 gir1.2-libmsi-1.0
  hicolor-icon-theme librsvg2-common shared-mime-info desktop-file-utils
  python3 time
  dpkg-dev fakeroot lintian
  openssl osslsigncode wixl msitools
)
if [ "${TESSIVA_BROWSERS:-1}" = 1 ]; then
  packages+=(chromium firefox-esr)
  # Node.js may come from elsewhere than Debian; only ask Debian for it when absent.
  if ! command -v npm >/dev/null 2>&1; then packages+=(nodejs npm); fi
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

SUDO=
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine is not needed: tessiva.exe is a 64-bit program.
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "setup: done"
