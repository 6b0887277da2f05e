#!/usr/bin/env bash
# Builds the release artifacts of the commit that is checked out (HEAD, not uncommitted
# changes) into dist/: tessiva.exe for Windows, its installer package
# tessiva-<version>-x64.msi, the Debian package, and SHA256SUMS over the three (the list
# that `sha256sum -c SHA256SUMS` reads).
#
#   scripts/release.sh [--dist DIR] [--work DIR]
#
# The sources are exported from git into a fresh folder and built there with the
# release presets, so that the artifacts depend on the commit alone: two runs for one
# commit, in any folders and at any time, give the same bytes. SOURCE_DATE_EPOCH is the
# commit's time; it dates the files inside the Debian package and the MSI's summary.
#
# Signing: with TESSIVA_SIGN_CERT set, tessiva.exe is signed (Authenticode, SHA-256)
# with osslsigncode before it is packaged into the MSI, and then the MSI is signed.
# TESSIVA_SIGN_CERT is a PEM certificate (then TESSIVA_SIGN_KEY is its PEM private key)
# or a PKCS#12 file (.p12 or .pfx, holding both); TESSIVA_SIGN_PASS is the key's
# password, when it has one. The signatures carry no timestamp from a time-stamping
# server (the build uses no network); their signing time is the commit's time, so that
# one key signs one build to the same bytes. Without a certificate neither is signed.
#
# --dist DIR writes the artifacts to DIR instead of dist/; --work DIR builds in DIR
# (kept afterwards) instead of a temporary folder that is removed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dist=$root/dist
work=

while [ $# -gt 0 ]; do
  case $1 in
    --dist) dist=$(realpath -m "$2"); shift 2 ;;
    --work) work=$(realpath -m "$2"); shift 2 ;;
    *) echo "usage: scripts/release.sh [--dist DIR] [--work DIR]" >&2; exit 2 ;;
  esac
done

commit=$(git rev-parse HEAD)
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release: uncommitted changes are left out: building commit $commit" >&2
fi

if [ -z "$work" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/tessiva-release.XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi
source=$work/source
rm -rf "$source"
mkdir -p "$source"
git archive --format=tar "$commit" | tar -x -C "$source"

# Nothing of the builder's environment reaches the artifacts: one locale, one time
# zone, one file mode.
export LC_ALL=C TZ=UTC
# The Windows build runs a program under Wine in a prefix of its own build folder.
unset TESSIVA_WINE_STATE
umask 022
jobs=${TESSIVA_JOBS:-2}
options=(-DTESSIVA_TESTS=OFF)
if [ -n "${TESSIVA_CHROMIUM_EXTENSION_IDS:-}" ]; then
  options+=("-DTESSIVA_CHROMIUM_EXTENSION_IDS=$TESSIVA_CHROMIUM_EXTENSION_IDS")
fi

(
  cd "$source"
  cmake --preset windows "${options[@]}" >/dev/null
  cmake --build --preset windows -j "$jobs" --target tessiva tessiva_msi
  # The package's source was written by a program run under Wine in the build's own
  # prefix; its wineserver would outlive the build (and the folder).
  WINEPREFIX=$PWD/build/windows/wine/prefix wineserver -k 2>/dev/null || true
  cmake --preset linux "${options[@]}" >/dev/null
  cmake --build --preset linux -j "$jobs" --target tessiva tessiva_package_files
  cd build/linux
  cpack -G DEB -B "$work/deb" >/dev/null
)

mkdir -p "$dist"
rm -f "$dist"/tessiva.exe "$dist"/tessiva-*-x64.msi "$dist"/tessiva_*.deb "$dist"/SHA256SUMS
built_msi=("$source"/build/windows/tessiva-*-x64.msi)
msi=${built_msi[0]##*/}
if [ -n "${TESSIVA_SIGN_CERT:-}" ]; then
  sign=(osslsigncode sign -h sha256 -n Tessiva -time "$SOURCE_DATE_EPOCH")
  case $TESSIVA_SIGN_CERT in
    *.p12|*.pfx) sign+=(-pkcs12 "$TESSIVA_SIGN_CERT") ;;
    *) sign+=(-certs "$TESSIVA_SIGN_CERT" -key "${TESSIVA_SIGN_KEY:?TESSIVA_SIGN_KEY names the key of a PEM certificate}") ;;
  esac
  if [ -n "${TESSIVA_SIGN_PASS:-}" ]; then sign+=(-pass "$TESSIVA_SIGN_PASS"); fi
  "${sign[@]}" -in "$source/build/windows/tessiva.exe" -out "$dist/tessiva.exe" >/dev/null
  # The package holds the signed program, and is signed itself.
  "$source/build/windows/make_msi.sh" "$work/$msi" "$dist/tessiva.exe"
  "${sign[@]}" -in "$work/$msi" -out "$dist/$msi" >/dev/null
else
  echo "release: TESSIVA_SIGN_CERT is not set: tessiva.exe and $msi are not signed" >&2
  cp "$source/build/windows/tessiva.exe" "$dist/tessiva.exe"
  cp "${built_msi[0]}" "$dist/$msi"
fi
cp "$work"/deb/tessiva_*.deb "$dist/"
(
  cd "$dist"
  sha256sum tessiva.exe "$msi" tessiva_*.deb >SHA256SUMS
  cat SHA256SUMS
)
echo "release: commit $commit in $dist"
