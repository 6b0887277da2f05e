#!/usr/bin/env bash
# Channel benchmark of the host: start-up, "hello" round trips, 16 MiB frames, peak
# memory and a 1 GiB chunked transfer, for the native build and for tessiva.exe under
# Wine, each side by side with bare reference programs (and, for the transfer, a
# reference host in Python). See bench/README.md for what the figures mean.
#
#   bench/run.sh [native|wine|all] [channel_bench options...]
#
# Builds what is missing: the reference programs and the driver into build/bench/, the
# host with the CMake presets "linux" and "windows" (build/linux/tessiva,
# build/windows/tessiva.exe) when those do not exist yet. TESSIVA_HOST_NATIVE and
# TESSIVA_HOST_WINDOWS name other host executables to measure instead. Every program
# runs from a copy on a memory file system, and so do the saved files and the Wine
# prefix made for this run. Under Wine the programs are started the way a browser
# running in the same Wine starts its host: by the Wine loader itself, with the
# prefix's wineserver already running. Exit code 0 when every limit holds, 1 when one
# does not, 2 when something could not be built or run.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

which=${1:-all}
case $which in
  native|wine|all) [ $# -gt 0 ] && shift ;;
  -*) which=all ;;
  *) echo "usage: bench/run.sh [native|wine|all] [channel_bench options...]" >&2; exit 2 ;;
esac

out=build/bench
mkdir -p "$out"
cxx_flags=(-std=c++23 -O2 -Wall -Wextra -Werror)

# Builds $1 from bench/$2 with compiler $3 and extra flags, when the source is newer.
build() {
  local target=$1 source=bench/$2 compiler=$3
  shift 3
  if [ ! -x "$target" ] || [ "$source" -nt "$target" ] || [ bench/bare_io.h -nt "$target" ]; then
    echo "run.sh: building $target" >&2
    "$compiler" "${cxx_flags[@]}" "$@" -o "$target" "$source"
  fi
}

# The driver is linked statically: a program it starts inherits its peak memory in the
# kernel's accounting, so it is kept small (see channel_bench.cpp).
build "$out/channel_bench" channel_bench.cpp g++ -static
for p in bare_once bare_reader bare_saver; do
  build "$out/$p" $p.cpp g++ -static
done
if [ "$which" != native ]; then
  for p in bare_once bare_reader bare_saver; do
    # Like the host: static, GUI subsystem, wide entry point.
    build "$out/$p.exe" $p.cpp x86_64-w64-mingw32-g++-posix -static -mwindows -municode
  done
fi

# Builds the host with a preset unless the executable is there already.
host_for() {
  local preset=$1 exe=$2
  if [ ! -x "$exe" ]; then
    echo "run.sh: building the host with the preset $preset" >&2
    cmake --preset "$preset" >&2
    cmake --build --preset "$preset" --target tessiva -j2 >&2
  fi
  echo "$root/$exe"
}

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
  host=$(stage "${TESSIVA_HOST_NATIVE:-$(host_for linux build/linux/tessiva)}")
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
  host=$(stage "${TESSIVA_HOST_WINDOWS:-$(host_for windows build/windows/tessiva.exe)}")
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
  printf '\027\0\0\0{"type":"hello","id":1}' | "$loader" "$(stage "$out/bare_once.exe")" >/dev/null
  run_driver --target wine --startup-runs 7 "${transfer[@]}" --save-folder "$work/save" \
    --transfer-min 0.9 \
    --host-save-folder "Z:${work//\//\\}\\save" \
    --host "$loader" "$host" "$origin" -- \
    --bare-once "$loader" "$work/bin/bare_once.exe" -- \
    --bare-reader "$loader" "$(stage "$out/bare_reader.exe")" -- \
    --bare-saver "$loader" "$(stage "$out/bare_saver.exe")" "Z:$work/saved.bin" -- --saver-file "$work/saved.bin" \
    "$@"
fi
exit $status
