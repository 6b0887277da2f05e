#!/usr/bin/env bash
# Shows the folder picker and the application picker of the Windows build in each of
# the three languages on a private Xvfb display, captures a screenshot of each dialog
# (ImageMagick import) and closes it again with Escape (xdotool); each close must
# answer {"cancelled": true}.
#   scripts/screenshots-pickers.sh [WINDOWS_BUILD_FOLDER [OUTPUT_FOLDER]]
# Needs wine, xvfb, xdotool and imagemagick. The Wine prefix is the build's own.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/windows}" && pwd)
out=$(mkdir -p "${2:-$build/screenshots}" && cd "${2:-$build/screenshots}" && pwd)
exe=$build/tessiva.exe
[ -f "$exe" ] || { echo "no $exe: build the windows preset first" >&2; exit 1; }
export TESSIVA_WINE_STATE=$build/wine PYTHONDONTWRITEBYTECODE=1
wine_run() { "$PWD/cmake/wine-run.sh" "$@" >/dev/null 2>&1 </dev/null; }
# Without a window manager only the windows that Wine does not hand to one get frames
# and title bars, drawn by Wine itself; the setting is removed again afterwards.
wine_run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
trap "wine_run reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f" EXIT
python3 tests/e2e/test_pickers_display.py --screenshots "$out" --wine "$PWD/cmake/wine-run.sh" "$exe"
ls -1 "$out"/*.png
