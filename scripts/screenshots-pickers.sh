#!/usr/bin/env bash
# Shows the folder picker and the application picker in each of the three languages on
# a private Xvfb display, captures a screenshot of each dialog (ImageMagick import) and
# closes it again with Escape (xdotool); each close must answer {"cancelled": true}.
#   scripts/screenshots-pickers.sh [BUILD_FOLDER [OUTPUT_FOLDER]]
# BUILD_FOLDER (default build/windows) holds tessiva.exe (the Windows build, run under
# Wine in the build's own prefix) or tessiva (the Linux build, whose GTK dialogs run
# on a private session bus with a private HOME; they are also driven to a choice).
# Needs xvfb, xdotool and imagemagick; wine for the Windows build, dbus and x11-utils
# for the Linux build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/windows}" && pwd)
out=$(mkdir -p "${2:-$build/screenshots}" && cd "${2:-$build/screenshots}" && pwd)
export PYTHONDONTWRITEBYTECODE=1
if [ -f "$build/tessiva.exe" ]; then
  export TESSIVA_WINE_STATE=$build/wine
  wine_run() { "$PWD/cmake/wine-run.sh" "$@" >/dev/null 2>&1 </dev/null; }
  # Without a window manager only the windows that Wine does not hand to one get frames
  # and title bars, drawn by Wine itself; the setting is removed again afterwards.
  wine_run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
  trap "wine_run reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f" EXIT
  python3 tests/e2e/test_pickers_display.py --screenshots "$out" --wine "$PWD/cmake/wine-run.sh" "$build/tessiva.exe"
elif [ -x "$build/tessiva" ]; then
  python3 tests/e2e/test_pickers_display.py --screenshots "$out" --native "$build/tessiva"
else
  echo "neither $build/tessiva.exe nor $build/tessiva: build a preset first" >&2
  exit 1
fi
ls -1 "$out"/*.png
