#!/usr/bin/env bash
# Browser tests: real Chromium and Firefox, each with a test extension, drive the host
# (tessiva.exe under Wine and the native build) over native messaging. Installs the
# driver's npm packages from the lockfile, builds the host only when a build is missing,
# and ends with the line "N passed, N failed, N skipped"; exits non-zero on any failure.
#   tests/browser/run.sh [driver options, see driver/run.js]
# TESSIVA_BROWSER_NATIVE, TESSIVA_BROWSER_EXE name other builds to test.
# TESSIVA_BROWSER_DEB=1, as root, adds the Debian package job (dpkg -i, dpkg -r).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
jobs=${TESSIVA_JOBS:-2}

give_up() {
  echo "browser tests: $*"
  echo "0 passed, 1 failed, 0 skipped"
  exit 1
}

for tool in node npm; do
  command -v "$tool" >/dev/null 2>&1 || give_up "$tool is missing (scripts/setup.sh installs it)"
done
for browser in "${TESSIVA_CHROMIUM:-/usr/bin/chromium}" "${TESSIVA_FIREFOX:-/usr/bin/firefox-esr}"; do
  [ -x "$browser" ] || give_up "$browser is missing (scripts/setup.sh installs it)"
done

# Only the lockfile's packages; no package may fetch a browser of its own.
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1
(cd "$here" && npm ci --no-audit --no-fund --loglevel=error >/dev/null) || give_up "npm ci failed"
# The host wrapper's own checks first: without it no browser report can be trusted.
wrapper_log=$(node --test "$here/driver/test/" 2>&1) || { echo "$wrapper_log"; give_up "the host wrapper's tests failed"; }

native=${TESSIVA_BROWSER_NATIVE:-$root/build/linux/tessiva}
exe=${TESSIVA_BROWSER_EXE:-$root/build/windows/tessiva.exe}
build() {  # preset
  (cd "$root" && cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs" --target tessiva >/dev/null) ||
    give_up "building the $1 preset failed"
}
[ -x "$native" ] || build linux
[ -f "$exe" ] || build windows

# The driver keeps every browser run within its own time limit; this is the last guard.
export TESSIVA_BROWSER_NATIVE=$native TESSIVA_BROWSER_EXE=$exe
timeout -k 20 "${TESSIVA_BROWSER_TIMEOUT:-900}" node "$here/driver/run.js" "$@"
status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  give_up "the driver did not finish in time"
fi
exit "$status"
