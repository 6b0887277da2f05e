#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix with its own empty HOME, so
# nothing touches a real profile. The prefix is created once (under a lock, since
# ctest may start several tests at once) and its wineserver is kept warm between runs.
#   wine-run.sh PROGRAM.exe [ARGS...]
# TESSIVA_WINE_STATE names the folder that holds prefix and home; by default it is
# the folder "wine" beside PROGRAM.
set -euo pipefail
exe=$1; shift
state=${TESSIVA_WINE_STATE:-$(cd "$(dirname "$exe")" && pwd)/wine}
mkdir -p "$state/home"
export WINEPREFIX="$state/prefix" HOME="$state/home" WINEDEBUG=-all LC_ALL=C.UTF-8 \
  WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_DOCUMENTS_DIR
if [ ! -f "$WINEPREFIX/.tessiva-ready" ]; then
  exec 9>"$state/.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.tessiva-ready" ]; then
    wineboot -i >/dev/null 2>&1 </dev/null || true
    wineserver -w
    touch "$WINEPREFIX/.tessiva-ready"
  fi
  exec 9>&-
fi
# A persistent wineserver saves about half a second per process; it ends by itself
# after a minute without clients.
wineserver -p60 >/dev/null 2>&1 </dev/null || true
# The test script counts the programs started here, to prove that Wine really ran.
if [ -n "${TESSIVA_WINE_MARK:-}" ]; then echo "$exe" >>"$TESSIVA_WINE_MARK"; fi
exec wine "$exe" "$@"
