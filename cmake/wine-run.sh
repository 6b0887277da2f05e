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
# after a minute without clients. When none runs for this prefix yet, Wine's own
# services are started first with their output on /dev/null: started by the program
# below they would inherit its standard handles and keep a caller's pipes open long
# after the program has exited.
socket_glob="/tmp/.wine-$(id -u)/server-*-$(printf %x "$(stat -c %i "$WINEPREFIX")")/socket"
if ! compgen -G "$socket_glob" >/dev/null; then
  wineserver -p60 >/dev/null 2>&1 </dev/null || true
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
fi
# The test script counts the programs started here, to prove that Wine really ran.
if [ -n "${TESSIVA_WINE_MARK:-}" ]; then echo "$exe" >>"$TESSIVA_WINE_MARK"; fi
exec wine "$exe" "$@"
