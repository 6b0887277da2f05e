#!/usr/bin/env bash
# Builds tessiva.exe and talks to it under Wine the way a browser does: started with the
# calling extension's origin as its argument, fed framed JSON requests on its standard
# input. Each request and reply of tools/nmclient/demo-conversation.jsonl is printed.
# Wine runs in a private prefix (with its own empty home) that is removed at the end.
# Set TESSIVA_BROWSERS=1 to have the setup also install the browsers (not needed here).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

TESSIVA_BROWSERS=${TESSIVA_BROWSERS:-0} scripts/setup.sh
cmake --preset windows
cmake --build --preset windows --target tessiva

state=$(mktemp -d)
cleanup() {
  # Stop the wineserver of this prefix (and nothing else), then remove the prefix.
  WINEPREFIX="$state/prefix" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$state"
}
trap cleanup EXIT

# The origin of the calling extension (an extension id is 32 letters from a to p).
origin="chrome-extension://hgfedcbaponmlkjihgfedcbaponmlkji/"
echo "demo: starting build/windows/tessiva.exe $origin under Wine"
echo "demo: (the first start creates a private Wine prefix, which takes a few seconds)"
TESSIVA_WINE_STATE="$state" python3 tools/nmclient/nmclient.py --timeout 180 \
  --script tools/nmclient/demo-conversation.jsonl -- \
  cmake/wine-run.sh build/windows/tessiva.exe "$origin"
