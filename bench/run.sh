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
# TESSIVA_HOST_WINDOWS name other host executables to measure instead. Wine runs in a
# private prefix made for this run and removed afterwards. Exit code 0 when every limit
# holds, 1 when one does not, 2 when something could not be built or run.
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

# The work folder takes the saved files of the transfers. A disk's write-back makes
# whichever program happens to run while it flushes look slow (a bare saver measured
# 320 to 1170 MB/s in one run), so a memory file system is used when one has room:
# the figures then say what the programs cost, not when the disk flushed.
work_parent=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ -w /dev/shm ] &&
   [ "$(df --output=avail -k /dev/shm 2>/dev/null | tail -1)" -gt $((4 * 1024 * 1024)) ] 2>/dev/null; then
  work_parent=/dev/shm
fi
work=$(mktemp -d -p "$work_parent")
echo "run.sh: saved files go to $work_parent" >&2
wine_state=
cleanup() {
  if [ -n "$wine_state" ]; then
    WINEPREFIX="$wine_state/prefix" wineserver -k >/dev/null 2>&1 || true
    rm -rf "$wine_state"
  fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/save" "$work/py-save" "$work/native-home"
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
  host=${TESSIVA_HOST_NATIVE:-$(host_for linux build/linux/tessiva)}
  # The native host keeps its settings and partial files under a private home; it takes
  # only Windows paths as a save folder, so it saves into the default one there.
  HOME=$work/native-home XDG_CONFIG_HOME= XDG_DATA_HOME= XDG_DOCUMENTS_DIR= \
  run_driver --target native "${transfer[@]}" --save-folder "$work/native-home/Documents/Tessiva" \
    --host "$host" "$origin" -- \
    --bare-once "$out/bare_once" -- \
    --bare-reader "$out/bare_reader" -- \
    --bare-saver "$out/bare_saver" "$work/saved.bin" -- --saver-file "$work/saved.bin" \
    "$@"
fi

if [ "$which" != native ]; then
  host=${TESSIVA_HOST_WINDOWS:-$(host_for windows build/windows/tessiva.exe)}
  wine_state=$(mktemp -d -p "$work_parent")  # partial files and the save folder on one file system
  export TESSIVA_WINE_STATE=$wine_state
  wine=$root/cmake/wine-run.sh
  # Creates the prefix (10-20 s) and starts its wineserver before the driver pins itself,
  # so that the server is not tied to the driver's CPU.
  echo "run.sh: preparing a private Wine prefix" >&2
  printf '\027\0\0\0{"type":"hello","id":1}' | "$wine" "$out/bare_once.exe" >/dev/null
  run_driver --target wine --startup-runs 30 "${transfer[@]}" --save-folder "$work/save" \
    --host-save-folder "Z:${work//\//\\}\\save" \
    --host "$wine" "$host" "$origin" -- \
    --bare-once "$wine" "$out/bare_once.exe" -- \
    --bare-reader "$wine" "$out/bare_reader.exe" -- \
    --bare-saver "$wine" "$out/bare_saver.exe" "Z:$work/saved.bin" -- --saver-file "$work/saved.bin" \
    "$@"
fi
exit $status
