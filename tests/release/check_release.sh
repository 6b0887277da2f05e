#!/usr/bin/env bash
# The release artifacts: scripts/release.sh builds HEAD in a fresh folder, signed with a
# throwaway certificate made here; its SHA256SUMS must check, the signatures of
# tessiva.exe and of the MSI must verify against that certificate, the MSI must hold the
# signed program, and its unsigned tessiva.exe, its unsigned MSI and its .deb must be the
# same bytes as those of a second, independent build of the same commit: the build
# folders given (another folder, another path length, built at another time, as
# scripts/test.sh builds them), the .deb and the MSI made there again with the commit's
# time.
#
#   tests/release/check_release.sh WINDOWS_BUILD LINUX_BUILD
#
# Both build folders must be of the release presets, built from HEAD without changes.
set -euo pipefail
cd "$(dirname "$0")/../.."
windows_build=$(realpath "$1")
linux_build=$(realpath "$2")

if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "check_release: uncommitted changes: the build folders are not of the commit that" \
    "scripts/release.sh builds; commit first" >&2
  exit 1
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tessiva-release-check.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

# A self-signed code-signing certificate that lives only as long as this check.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tessiva release check" \
  -addext extendedKeyUsage=codeSigning -keyout "$tmp/key.pem" -out "$tmp/cert.pem" 2>/dev/null

TESSIVA_SIGN_CERT=$tmp/cert.pem TESSIVA_SIGN_KEY=$tmp/key.pem \
  scripts/release.sh --work "$tmp/work" --dist "$tmp/dist"

(cd "$tmp/dist" && sha256sum -c --strict SHA256SUMS) || fail "sha256sum -c SHA256SUMS"
[ "$(wc -l <"$tmp/dist/SHA256SUMS")" -eq 3 ] || fail "SHA256SUMS lists $(wc -l <"$tmp/dist/SHA256SUMS") files, want 3"
msis=("$tmp"/dist/tessiva-*-x64.msi)
msi=${msis[0]##*/}

osslsigncode verify -CAfile "$tmp/cert.pem" -in "$tmp/dist/tessiva.exe" >"$tmp/verify.log" 2>&1 ||
  { cat "$tmp/verify.log"; fail "osslsigncode verify tessiva.exe"; }
# The signed file is the unsigned one with a signature added: the verification above
# is of the program that was built.
osslsigncode extract-signature -in "$tmp/dist/tessiva.exe" -out "$tmp/signature.der" >/dev/null 2>&1 ||
  fail "tessiva.exe carries no signature"
if cmp -s "$tmp/dist/tessiva.exe" "$tmp/work/source/build/windows/tessiva.exe"; then
  fail "dist/tessiva.exe is the unsigned program"
fi

osslsigncode verify -CAfile "$tmp/cert.pem" -in "$tmp/dist/$msi" >"$tmp/verify.log" 2>&1 ||
  { cat "$tmp/verify.log"; fail "osslsigncode verify $msi"; }
msiextract -C "$tmp/extracted" "$tmp/dist/$msi" >/dev/null
packaged=("$tmp"/extracted/Tessiva/tessiva.exe)
cmp -s "${packaged[0]}" "$tmp/dist/tessiva.exe" || fail "$msi does not hold the signed tessiva.exe"

cmp "$tmp/work/source/build/windows/tessiva.exe" "$windows_build/tessiva.exe" ||
  fail "tessiva.exe differs between two builds of one commit"

epoch=$(git log -1 --format=%ct)
(cd "$linux_build" && SOURCE_DATE_EPOCH=$epoch cpack -G DEB -B "$tmp/deb" >/dev/null)
debs=("$tmp"/deb/tessiva_*.deb)
cmp "$tmp"/dist/tessiva_*.deb "${debs[0]}" || fail "the .deb differs between two builds of one commit"

# The MSI of the unsigned program, made again from the other build folder.
cmake --build "$windows_build" --target tessiva_msi >/dev/null
SOURCE_DATE_EPOCH=$epoch "$windows_build/make_msi.sh" "$tmp/$msi"
if ! cmp -s "$tmp/work/source/build/windows/$msi" "$tmp/$msi"; then
  echo "$msi: bytes that differ between two builds (offset, octal values):" >&2
  cmp -l "$tmp/work/source/build/windows/$msi" "$tmp/$msi" | head -20 >&2 || true
  fail "$msi differs between two builds of one commit"
fi

if [ "$failed" = 0 ]; then
  echo "release artifacts: reproducible, listed and signed"
fi
exit "$failed"
