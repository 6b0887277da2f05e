#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix with its own empty HOME, so
# nothing touches a real profile. The prefix is created once (under a lock, since
# ctest may start several tests at once) and its wineserver is kept warm between runs.
#   wine-run.sh PROGRAM.exe [ARGS...]
# PROGRAM is a Windows executable (a file that starts with "MZ") or the bare name of a
# program of the prefix's own Windows folder (reg, start, cmd). Anything else is refused
# with exit code 2: Wine would start a Linux program as it is and lose its exit status.
# TESSIVA_WINE_STATE names the folder that holds prefix and home; by default it is the
# folder "wine" in the build folder that holds PROGRAM (the nearest folder above it with
# a CMakeCache.txt), and without one the variable must be set: the state never lands
# beside a program outside a build folder. TESSIVA_WINE_PERSIST is how many seconds the
# wineserver started here stays after its last program (default 60); "forever" keeps
# it until it is stopped with "wineserver -k".
set -euo pipefail
refuse() { echo "wine-run.sh: $*" >&2; exit 2; }
[ $# -ge 1 ] || refuse "no program given"
exe=$1; shift
if [ -e "$exe" ] || [[ "$exe" == */* ]]; then
  [ -f "$exe" ] || refuse "$exe is not a file"
  [ "$(head -c 2 "$exe")" = MZ ] || refuse "$exe is not a Windows executable"
fi
if [ -n "${TESSIVA_WINE_STATE:-}" ]; then
  state=$TESSIVA_WINE_STATE
else
  build=
  if [ -f "$exe" ]; then
    folder=$(cd "$(dirname "$exe")" && pwd)
    while [ "$folder" != / ] && [ ! -f "$folder/CMakeCache.txt" ]; do folder=$(dirname "$folder"); done
    if [ -f "$folder/CMakeCache.txt" ]; then build=$folder; fi
  fi
  [ -n "$build" ] || refuse "$exe is in no build folder: set TESSIVA_WINE_STATE to the folder for the Wine prefix"
  state=$build/wine
fi
mkdir -p "$state/home"
export WINEPREFIX="$state/prefix" HOME="$state/home" WINEDEBUG=-all LC_ALL=C.UTF-8 \
  WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_DOCUMENTS_DIR
if [ ! -f "$WINEPREFIX/.tessiva-ready" ]; then
  exec 9>"$state/.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.tessiva-ready" ]; then
    wineboot -i 9>&- >/dev/null 2>&1 </dev/null || true
    wineserver -w 9>&-
    touch "$WINEPREFIX/.tessiva-ready"
  fi
  exec 9>&-
fi
# A persistent wineserver saves about half a second per program. "wineserver" exits
# with 0 only when it has just become the prefix's server, and with 2 when a server
# holds the prefix already; only a server started here gets the persistence asked for
# (one that Wine starts by itself for a program ends as soon as no program runs). A
# new server's own services are started first, with their output on /dev/null:
# started by the program below they would inherit its standard handles and keep a
# caller's pipes open long after the program has exited. The lock makes callers that
# arrive together start one server and wait for its services. No Wine process may
# inherit a lock's descriptor (here or above): a server would hold the lock for as
# long as it runs.
persist=${TESSIVA_WINE_PERSIST:-60}
if [ "$persist" = forever ]; then persist=; fi
exec 8>"$state/.server-lock"
flock 8
if wineserver "-p$persist" 8>&- >/dev/null 2>&1 </dev/null; then
  wine cmd.exe /c exit 8>&- >/dev/null 2>&1 </dev/null || true
fi
exec 8>&-
# The test script counts the programs started here, to prove that Wine really ran.
if [ -n "${TESSIVA_WINE_MARK:-}" ]; then echo "$exe" >>"$TESSIVA_WINE_MARK"; fi
exec wine "$exe" "$@"
