#!/usr/bin/env bash
# Shows every message box of the installer and the uninstaller in English, Spanish and
# Brazilian Portuguese under Xvfb, saves a screenshot of each, and answers it.
#   scripts/screenshots-install.sh OUTPUT_FOLDER [WINDOWS_BUILD_FOLDER]
# The Windows build folder (default build/windows) must hold tessiva.exe, which is run
# as a user runs it: without arguments it installs into the prefix's per-user programs
# folder, with --uninstall it removes itself. Everything runs in a private Wine prefix that is removed at the end. The language is
# chosen through config.json. Needs xvfb-run, xdotool and ImageMagick's import.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 OUTPUT_FOLDER [WINDOWS_BUILD_FOLDER]" >&2
  exit 64
fi
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
build=$(cd "${2:-$root/build/windows}" && pwd)
for tool in xvfb-run xdotool import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
[ -f "$build/tessiva.exe" ] || { echo "$build/tessiva.exe is missing" >&2; exit 1; }

if [ -z "${TESSIVA_SCREENSHOTS_DISPLAY:-}" ]; then
  export TESSIVA_SCREENSHOTS_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$out" "$build"
fi

state=$(mktemp -d "${TMPDIR:-/tmp}/tessiva-screenshots-XXXXXX")
export TESSIVA_WINE_STATE=$state
started=()
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  WINEPREFIX=$state/prefix wineserver -k >/dev/null 2>&1 || true
  rm -rf "$state"
}
trap cleanup EXIT

wine_run() { "$root/cmake/wine-run.sh" "$@"; }

# The first run creates the prefix; the profile folder is known only afterwards.
wine_run reg query 'HKCU\Software' >/dev/null 2>&1 || true
profile=$(find "$state/prefix/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n1)
user=$(basename "$profile")
# Wine does not know the per-user programs folder; the installer uses its default place.
install_unix=$profile/AppData/Local/Programs/Tessiva

failures=0
fail() { echo "FAIL $*" >&2; failures=$((failures + 1)); }

# The id of a visible window captioned "Tessiva" other than $1, within 60 seconds.
wait_box() {
  local previous=$1 deadline=$((SECONDS + 60)) id
  while [ $SECONDS -lt $deadline ]; do
    id=$(xdotool search --onlyvisible --name '^Tessiva$' 2>/dev/null | grep -vx -- "$previous" | head -n1 || true)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.3
  done
  return 1
}

# Screenshot $2.png of the box $1 (the whole screen), then the key $3 answers it.
shoot_and_answer() {
  local id=$1 name=$2 key=$3
  sleep 1  # let the box finish drawing
  if [ -n "$name" ]; then import -window root "$out/$name.png"; fi
  xdotool windowfocus --sync "$id" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers "$key"
}

# Runs "$@" in the background, goes through its boxes (pairs of screenshot name, or
# "-" for none, and key), and checks its exit code against $1.
drive() {
  local want=$1 log=$2; shift 2
  local boxes=()
  while [ "$1" != "--" ]; do boxes+=("$1"); shift; done
  shift
  "$@" >"$log" 2>&1 </dev/null &
  local pid=$!
  started+=("$pid")
  local previous=none i
  for ((i = 0; i < ${#boxes[@]}; i += 2)); do
    local id
    if ! id=$(wait_box "$previous"); then
      fail "$log: box $((i / 2 + 1)) did not appear"
      kill "$pid" 2>/dev/null || true
      break
    fi
    local name=${boxes[i]}
    [ "$name" = - ] && name=
    shoot_and_answer "$id" "$name" "${boxes[i + 1]}"
    previous=$id
  done
  local code=0
  wait "$pid" || code=$?
  if [ "$code" != "$want" ]; then fail "$log: exit code $code, want $want"; fi
}

# The uninstaller removes the install folder in the background, a few seconds after it
# ended.
wait_removed() {
  local deadline=$((SECONDS + 30))
  while [ -e "$install_unix" ] && [ $SECONDS -lt $deadline ]; do sleep 0.3; done
  [ ! -e "$install_unix" ] || fail "$1: the install folder is still there"
}

for lang in en es pt-BR; do
  mkdir -p "$profile/AppData/Roaming/Tessiva"
  printf '{"version": 1, "language": "%s"}' "$lang" >"$profile/AppData/Roaming/Tessiva/config.json"
  rm -rf "$install_unix"
  logs=$state/logs-$lang
  mkdir -p "$logs"

  # No to the question: exit code 2 and nothing written.
  drive 2 "$logs/declined" - n -- wine_run "$build/tessiva.exe"
  [ ! -e "$install_unix" ] || fail "$lang: declining the installation still created $install_unix"
  # First installation: the question, Yes, then the confirmation.
  drive 0 "$logs/install" "install-prompt-$lang" Return "install-done-$lang" Return -- wine_run "$build/tessiva.exe"
  [ -f "$install_unix/tessiva.exe" ] || fail "$lang: nothing was installed"
  # The same again is an update: no question.
  drive 0 "$logs/update" "update-done-$lang" Return -- wine_run "$build/tessiva.exe"

  # The uninstaller: No first (nothing removed), then Yes and the confirmation.
  drive 2 "$logs/uninstall-declined" "uninstall-prompt-$lang" n -- wine_run "$build/tessiva.exe" --uninstall
  wine_run reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessiva' >/dev/null 2>&1 ||
    fail "$lang: declining the uninstallation still removed the uninstall entry"
  drive 0 "$logs/uninstall" - Return "uninstall-done-$lang" Return -- wine_run "$build/tessiva.exe" --uninstall
  ! wine_run reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessiva' >/dev/null 2>&1 ||
    fail "$lang: the uninstall entry is still there"
  wait_removed "$lang"

  # A file where the install folder should be: the error box with the system's text.
  : >"$install_unix"
  drive 1 "$logs/failed" - Return "install-failed-$lang" Return -- wine_run "$build/tessiva.exe"
  rm -f "$install_unix"
done

ls "$out"
if [ "$failures" -ne 0 ]; then
  echo "$failures failures" >&2
  exit 1
fi
echo "screenshots in $out"
