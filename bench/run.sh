#!/usr/bin/env bash
# Channel benchmark of the host: start-up (to the reply and to the exit), "hello" round
# trips, 16 MiB frames, peak
# memory and a 1 GiB chunked transfer, for the native build and for tessiva.exe under
# Wine, each side by side with bare reference programs (and, for the transfer, a
# reference host in Python). See bench/README.md for what the figures mean.
#
#   bench/run.sh [native|wine|all] [channel_bench options...]
#
# Builds with the CMake presets "linux" and "windows" what it runs: the driver and the
# reference programs (build/<preset>/bench/) and the host (build/linux/tessiva,
# build/windows/tessiva.exe). TESSIVA_HOST_NATIVE and TESSIVA_HOST_WINDOWS name other
# host executables to measure instead. Every program runs from a copy on a memory file
# system, and so do the saved files and the Wine prefix made for this run. Under Wine
# the programs are started the way a browser running in the same Wine starts its host:
# by the Wine loader itself, with the prefix's wineserver already running. Exit code 0
# when every limit holds, 1 when one does not, 2 when something could not be built or
# run.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

which=${1:-all}
case $which in
  native|wine|all) [ $# -gt 0 ] && shift ;;
  -*) which=all ;;
  *) echo "usage: bench/run.sh [native|wine|all] [channel_bench options...]" >&2; exit 2 ;;
esac

# Builds CMake targets with a preset, configuring its build folder first when needed.
build() {
  local preset=$1
  shift
  if [ ! -f "build/$preset/CMakeCache.txt" ]; then
    cmake --preset "$preset" >&2 || exit 2
  fi
  echo "run.sh: building $* with the preset $preset" >&2
  cmake --build --preset "$preset" -j2 --target "$@" >&2 || exit 2
}

out=build/linux/bench
win_out=build/windows/bench
# The driver runs natively for both targets.
native_targets=(channel_bench)
if [ "$which" != wine ]; then
  native_targets+=(bare_once bare_reader bare_saver)
  if [ -z "${TESSIVA_HOST_NATIVE:-}" ]; then native_targets+=(tessiva); fi
fi
build linux "${native_targets[@]}"
if [ "$which" != native ]; then
  windows_targets=(bare_once bare_reader bare_saver)
  if [ -z "${TESSIVA_HOST_WINDOWS:-}" ]; then windows_targets+=(tessiva); fi
  build windows "${windows_targets[@]}"
fi

# The work folder takes the programs, the saved files of the transfers and the Wine
# prefix. A disk's write-back makes whichever program happens to run while it flushes
# look slow (a bare saver measured 320 to 1170 MB/s in one run), so a memory file
# system is used when one has room: the figures then say what the programs cost, not
# when the disk flushed.
work_parent=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ -w /dev/shm ] &&
   [ "$(df --output=avail -k /dev/shm 2>/dev/null | tail -1)" -gt $((4 * 1024 * 1024)) ] 2>/dev/null; then
  work_parent=/dev/shm
fi
work=$(mktemp -d -p "$work_parent")
echo "run.sh: programs, saved files and the Wine prefix go to $work_parent" >&2
wine_prefix=
cleanup() {
  if [ -n "$wine_prefix" ]; then
    WINEPREFIX=$wine_prefix wineserver -k >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/bin" "$work/save" "$work/py-save" "$work/native-home"
# Copies a program into the work folder and prints the copy's path.
stage() {
  cp "$1" "$work/bin/"
  echo "$work/bin/$(basename "$1")"
}

# The transfer: 1 GiB by default; "--transfer-mib 0" among the options turns it off.
transfer=(--transfer-mib 1024 \
  --python-ref python3 "$root/bench/reference_host.py" "$work/py-save" -- --python-save-folder "$work/py-save")

status=0
run_driver() {
  local rc=0
  "$out/channel_bench" "$@" || rc=$?
  if [ $rc -gt 1 ]; then exit 2; fi
  if [ $rc -ne 0 ]; then status=1; fi
}

origin=chrome-extension://x/
if [ "$which" != wine ]; then
  host=$(stage "${TESSIVA_HOST_NATIVE:-$root/build/linux/tessiva}")
  # The native host keeps its settings and partial files under a private home; it takes
  # only Windows paths as a save folder, so it saves into the default one there.
  HOME=$work/native-home XDG_CONFIG_HOME= XDG_DATA_HOME= XDG_DOCUMENTS_DIR= \
  run_driver --target native "${transfer[@]}" --save-folder "$work/native-home/Documents/Tessiva" \
    --transfer-min 0.85 \
    --host "$host" "$origin" -- \
    --bare-once "$(stage "$out/bare_once")" -- \
    --bare-reader "$(stage "$out/bare_reader")" -- \
    --bare-saver "$(stage "$out/bare_saver")" "$work/saved.bin" -- --saver-file "$work/saved.bin" \
    "$@"
fi

if [ "$which" != native ]; then
  host=$(stage "${TESSIVA_HOST_WINDOWS:-$root/build/windows/tessiva.exe}")
  # The loader itself, not a wrapper script: a browser in Wine starts its host through
  # the running wineserver, without a shell in between.
  loader=
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then loader=$candidate; break; fi
  done
  if [ -z "$loader" ]; then echo "run.sh: no Wine loader found" >&2; exit 2; fi
  # A private prefix and home, like cmake/wine-run.sh, but on the memory file system.
  export WINEPREFIX=$work/wine/prefix HOME=$work/wine/home WINEDEBUG=-all LC_ALL=C.UTF-8 \
    WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64 WINELOADER=$loader
  unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_DOCUMENTS_DIR
  mkdir -p "$HOME"
  wine_prefix=$WINEPREFIX
  echo "run.sh: preparing a private Wine prefix" >&2
  wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w
  # A persistent wineserver, started before the driver pins itself so that the server
  # is not tied to the driver's CPU; Wine's own services are started here too, with
  # their output on /dev/null (started by a measured program they would inherit its
  # pipes). The cleanup ends the server.
  wineserver -p >/dev/null 2>&1 </dev/null
  "$loader" cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
  printf '\027\0\0\0{"type":"hello","id":1}' | "$loader" "$(stage "$win_out/bare_once.exe")" >/dev/null
  run_driver --target wine --startup-runs 10 "${transfer[@]}" --save-folder "$work/save" \
    --transfer-min 0.9 \
    --host-save-folder "Z:${work//\//\\}\\save" \
    --host "$loader" "$host" "$origin" -- \
    --bare-once "$loader" "$work/bin/bare_once.exe" -- \
    --bare-reader "$loader" "$(stage "$win_out/bare_reader.exe")" -- \
    --bare-saver "$loader" "$(stage "$win_out/bare_saver.exe")" "Z:$work/saved.bin" -- --saver-file "$work/saved.bin" \
    "$@"
fi
exit $status
