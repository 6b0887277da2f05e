#!/usr/bin/env bash
# The release artifacts: scripts/release.sh builds HEAD in a fresh folder, signed with a
# throwaway certificate made here; its SHA256SUMS must check, the signature must verify
# against that certificate, and its unsigned tessiva.exe and its .deb must be the same
# bytes as those of a second, independent build of the same commit: the build folders
# given (another folder, another path length, built at another time, as scripts/test.sh
# builds them), the .deb made there again by CPack with the commit's time.
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
[ "$(wc -l <"$tmp/dist/SHA256SUMS")" -eq 2 ] || fail "SHA256SUMS lists $(wc -l <"$tmp/dist/SHA256SUMS") files, want 2"

osslsigncode verify -CAfile "$tmp/cert.pem" -in "$tmp/dist/tessiva.exe" >"$tmp/verify.log" 2>&1 ||
  { cat "$tmp/verify.log"; fail "osslsigncode verify tessiva.exe"; }
# The signed file is the unsigned one with a signature added: the verification above
# is of the program that was built.
osslsigncode extract-signature -in "$tmp/dist/tessiva.exe" -out "$tmp/signature.der" >/dev/null 2>&1 ||
  fail "tessiva.exe carries no signature"
if cmp -s "$tmp/dist/tessiva.exe" "$tmp/work/source/build/windows/tessiva.exe"; then
  fail "dist/tessiva.exe is the unsigned program"
fi

cmp "$tmp/work/source/build/windows/tessiva.exe" "$windows_build/tessiva.exe" ||
  fail "tessiva.exe differs between two builds of one commit"

epoch=$(git log -1 --format=%ct)
(cd "$linux_build" && SOURCE_DATE_EPOCH=$epoch cpack -G DEB -B "$tmp/deb" >/dev/null)
debs=("$tmp"/deb/tessiva_*.deb)
cmp "$tmp"/dist/tessiva_*.deb "${debs[0]}" || fail "the .deb differs between two builds of one commit"

if [ "$failed" = 0 ]; then
  echo "release artifacts: reproducible, listed and signed"
fi
exit "$failed"
