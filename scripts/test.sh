#!/usr/bin/env bash
# Sets up this machine (idempotent) and runs every test: native, sanitizers with the bounded fuzz
# runs, and the Windows build under Wine. Exits non-zero when anything fails.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1

logdir=build/logs
mkdir -p "$logdir"
failed_presets=()
passed=0
failed=0
skipped=0

for preset in native asan win32; do
  echo "=== $preset: configure and build"
  if ! { cmake --preset "$preset" >"$logdir/$preset-configure.log" 2>&1 || { cat "$logdir/$preset-configure.log"; false; }; } ||
     ! cmake --build --preset "$preset"; then
    echo "=== $preset: BUILD FAILED"
    failed_presets+=("$preset")
    continue
  fi
  # 32-bit Wine needs a kernel that runs i386 programs; some virtual machines refuse them outright
  # ("Exec format error"). There the Windows build is still made, so it keeps compiling and
  # linking, but its tests cannot run: say so loudly rather than report them as failures.
  if [[ "$preset" == win32 ]] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    not_run=$(ctest --preset "$preset" -N -R '[.]wine$' -FA wine 2>/dev/null | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
    echo "=== $preset: NOT RUN: this machine cannot execute 32-bit (i386) programs, which 32-bit Wine needs;"
    echo "=== $preset: the Windows library and its ${not_run:-?} test executables were built, not run"
    skipped=$((skipped + ${not_run:-1}))
    continue
  fi
  echo "=== $preset: test"
  # The Windows run is verbose so that the log shows each test executing under Wine.
  verbose=()
  [[ "$preset" == win32 ]] && verbose=(-V)
  ctest --preset "$preset" "${verbose[@]}" 2>&1 | tee "$logdir/$preset-test.log"
  rc=${PIPESTATUS[0]}
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$logdir/$preset-test.log" | tail -n 1)
  if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
  ((rc == 0)) || failed_presets+=("$preset")
done

echo
if ((${#failed_presets[@]})); then
  echo "FAILED presets: ${failed_presets[*]}"
fi
if ((skipped)); then
  echo "all: $passed passed, $failed failed; $skipped Windows test executables not run (no 32-bit programs on this machine)"
else
  echo "all: $passed passed, $failed failed"
fi
((${#failed_presets[@]} == 0))
