#!/usr/bin/env bash
# Sets up the machine, builds every flavour and runs every test: the extension's client
# library (unit tests, declarations, package), native unit and end-to-end tests, the same under AddressSanitizer/UBSan, the Windows build's unit,
# Windows-only and end-to-end tests under Wine, the release artifacts (reproducible,
# signed), the fuzz targets for a bounded time,
# and the browser tests. Exits non-zero when anything failed or the Wine tests did
# not run.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${TESSIVA_JOBS:-2}
fuzz_seconds=${TESSIVA_FUZZ_SECONDS:-60}

bash scripts/setup.sh || exit 1

passed=0
failed=0
failures=()
step() {
  local name=$1; shift
  echo "::: $name"
  local start=$SECONDS
  if "$@"; then
    passed=$((passed + 1))
    echo "::: $name: ok ($((SECONDS - start)) s)"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "::: $name: FAILED ($((SECONDS - start)) s)"
  fi
}

build() {  # preset [targets...]
  local preset=$1; shift
  cmake --preset "$preset" >/dev/null || return 1
  if [ $# -gt 0 ]; then
    cmake --build --preset "$preset" -j "$jobs" --target "$@"
  else
    cmake --build --preset "$preset" -j "$jobs"
  fi
}

native_tests() { build linux && ctest --preset linux -j "$jobs"; }
# The unit tests and every end-to-end test against the sanitized host. Reports go to
# files as well, so that one from a process whose exit no test looks at (a detached
# launcher child, a host killed on purpose after it wrote one) still fails the step.
asan_tests() {
  build linux-asan tessiva_unit_tests tessiva tessiva_test_host tessiva_dialog_probe || return 1
  local reports=$root/build/linux-asan/sanitizer-reports
  rm -rf "$reports" && mkdir -p "$reports"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:log_path=$reports/asan \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan \
    ctest --preset linux-asan -j "$jobs" -R '^(unit|e2e_.*)$'
  local status=$?
  if [ -n "$(ls -A "$reports")" ]; then
    echo "sanitizer reports:"
    head -n 60 "$reports"/*
    status=1
  fi
  return $status
}
wine_tests() {
  build windows || return 1
  local marker=$root/build/windows/wine/runs
  rm -f "$marker"
  TESSIVA_WINE_MARK=$marker ctest --preset windows -j "$jobs" || return 1
  # Every test of this build runs under Wine; a run in which Wine never started a
  # program did not test the Windows build at all.
  local runs
  runs=$(wc -l <"$marker" 2>/dev/null || echo 0)
  echo "programs started under Wine: $runs"
  [ "$runs" -gt 0 ]
}
# scripts/release.sh against the builds above: signed with a throwaway certificate, its
# checksums and signature verified, its tessiva.exe and .deb the same bytes as these
# builds' (a second build of the same commit, in another folder, at another time).
release_check() { bash tests/release/check_release.sh build/windows build/linux; }
fuzz_run() {
  build fuzz || return 1
  local ok=0 target corpus
  for target in build/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    local name=${target##*/fuzz_}
    local seconds=$((fuzz_seconds / 3))
    [ "$name" = channel ] && seconds=$fuzz_seconds
    corpus=$(mktemp -d)
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
    local dict=()
    [ -f "fuzz/fuzz_$name.dict" ] && dict=(-dict="fuzz/fuzz_$name.dict")
    echo "fuzzing $name for $seconds s"
    if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
        -artifact_prefix="build/fuzz/$name-" "${dict[@]}" "$corpus" >"build/fuzz/$name.log" 2>&1; then
      tail -n 40 "build/fuzz/$name.log"
      ok=1
    fi
    rm -rf "$corpus"
  done
  return $ok
}

# The extension's client library: its unit tests against a fake port, its declarations
# checked by the TypeScript compiler, and the files that npm would pack.
client_tests() {
  (
    cd client || exit 1
    npm ci --no-audit --no-fund --loglevel=error >/dev/null || exit 1
    node --test test/ || exit 1
    node_modules/.bin/tsc --noEmit -p . || exit 1
    npm pack --dry-run --json 2>/dev/null | node -e '
      const files = JSON.parse(require("fs").readFileSync(0, "utf8"))[0].files.map((f) => f.path);
      const want = ["README.md", "package.json", "tessiva-client.d.ts", "tessiva-client.js"];
      if (JSON.stringify(files.sort()) !== JSON.stringify(want)) {
        console.error(`npm pack would pack ${files.join(", ")}; want ${want.join(", ")}`);
        process.exit(1);
      }'
  )
}

step "client library" client_tests
step "native build and tests" native_tests
step "sanitizer unit and end-to-end tests" asan_tests
step "Windows build and tests under Wine" wine_tests
step "release artifacts" release_check
step "fuzzing" fuzz_run
# As root (CI is), the browser tests also install the Debian package with dpkg, let
# both browsers find the host through its system-wide manifests, and remove it.
step "browser tests" env TESSIVA_BROWSER_DEB="${TESSIVA_BROWSER_DEB:-1}" tests/browser/run.sh

echo
for f in "${failures[@]}"; do echo "failed: $f"; done
echo "steps: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
