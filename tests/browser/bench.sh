#!/usr/bin/env bash
# Measures through Chromium, for tessiva.exe under Wine and for the native build:
#   - the time from connectNative to the "hello" reply, each with a new host process
#     (first, median, min and max over --connections N, default 20);
#   - once the host has transfers, the rate of one 256 MiB transfer sent in base64
#     chunks (--size MIB, --chunk MIB default 8, --window N chunks in flight, default 2).
# Not part of the tests. Uses the same builds as run.sh (TESSIVA_BROWSER_NATIVE,
# TESSIVA_BROWSER_EXE to choose others); pass --hosts native or --hosts wine for one.
#   tests/browser/bench.sh [--hosts wine,native] [--connections N] [--size MIB] ...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
(cd "$here" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
native=${TESSIVA_BROWSER_NATIVE:-$root/build/linux/tessiva}
exe=${TESSIVA_BROWSER_EXE:-$root/build/windows/tessiva.exe}
if [ ! -x "$native" ]; then (cd "$root" && cmake --preset linux >/dev/null && cmake --build --preset linux -j2 --target tessiva >/dev/null); fi
if [ ! -f "$exe" ]; then (cd "$root" && cmake --preset windows >/dev/null && cmake --build --preset windows -j2 --target tessiva >/dev/null); fi
export TESSIVA_BROWSER_NATIVE=$native TESSIVA_BROWSER_EXE=$exe
exec timeout -k 20 1200 node "$here/driver/bench.js" "$@"
