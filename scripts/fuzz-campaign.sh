#!/usr/bin/env bash
# A fuzz campaign, not part of CI: runs every fuzz target (or the ones named) for the
# given number of seconds each, starting from its committed corpus, then adds to
# fuzz/corpus/<target> only those new inputs that reach code the corpus did not (the
# committed seeds stay) and prints executions and crashes per target. Crashing inputs are kept as build/fuzz/<target>-crash-*.
#
#   bash scripts/fuzz-campaign.sh SECONDS [JOBS] [TARGET...]
#
# JOBS targets run side by side (default 1); each is one process on one core.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: fuzz-campaign.sh SECONDS [JOBS] [TARGET...]}
jobs=${2:-1}
shift $(($# >= 2 ? 2 : 1))

cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >/dev/null || exit 1

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for program in build/fuzz/fuzz_*; do
    [ -x "$program" ] && targets+=("${program##*/fuzz_}")
  done
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run_target() {
  local name=$1 program=build/fuzz/fuzz_$1 found=$work/$1
  mkdir -p "$found" "fuzz/corpus/$name"
  local extra=()
  [ -f "fuzz/fuzz_$name.dict" ] && extra+=(-dict="fuzz/fuzz_$name.dict")
  # The channel reads whole frames: its inputs must be able to hold string members
  # longer than 64 KiB.
  [ "$name" = channel ] && extra+=(-max_len=262144)
  "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/$name-" "${extra[@]}" "$found" "fuzz/corpus/$name" \
    >"$work/$name.log" 2>&1
  echo $? >"$work/$name.status"
  # Only what adds coverage joins the committed corpus.
  "$program" -merge=1 "${extra[@]}" "fuzz/corpus/$name" "$found" >"$work/$name.merge.log" 2>&1
}

running=0
for name in "${targets[@]}"; do
  echo "fuzzing $name for $seconds s"
  run_target "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

failed=0
printf '%-14s %14s %8s %8s %s\n' target executions crashes corpus status
for name in "${targets[@]}"; do
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log" | tail -n 1)
  crashes=$(find build/fuzz -maxdepth 1 -name "$name-crash-*" -newer "$work" | wc -l)
  status=$(cat "$work/$name.status")
  [ "$status" = 0 ] || failed=1
  printf '%-14s %14s %8s %8s %s\n' "$name" "${executions:-?}" "$crashes" \
    "$(find "fuzz/corpus/$name" -type f | wc -l)" "$([ "$status" = 0 ] && echo ok || echo "exit $status")"
  [ "$status" = 0 ] || tail -n 30 "$work/$name.log"
done
exit $failed
