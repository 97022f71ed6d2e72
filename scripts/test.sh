#!/usr/bin/env bash
# Sets up this machine (idempotent) and runs every test: native, sanitizers with the bounded fuzz
# runs, the shipped 32-bit Windows build (static checks everywhere, its tests under 32-bit Wine
# where the kernel runs 32-bit programs) and its x86_64 twin under 64-bit Wine. Exits non-zero
# when anything fails; nothing that did not run is counted as passed.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1

logdir=build/logs
mkdir -p "$logdir"
failed_presets=()
passed=0
failed=0
not_run=0
windows_lines=()

# Some virtual machines' kernels refuse i386 programs outright ("Exec format error"); 32-bit Wine
# cannot start there, while 64-bit Wine can.
can_run_win32() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
can_run_win64() { [[ -x /usr/lib/wine/wine64 ]] && /usr/lib/wine/wine64 --version >/dev/null 2>&1; }

# Adds a CTest log's summary to the totals (every test of native and asan is one CTest test). A
# log without a summary ran nothing that can be counted (no test matched, or CTest stopped): that
# is one failure, said so, never zero tests that passed.
count_ctest() {
  local summary
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]] && ((BASH_REMATCH[2] > 0)); then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  else
    echo "=== $1 holds no CTest summary of a run that ran tests: counted as 1 failed"
    failed=$((failed + 1))
  fi
}

# A Windows test executable is one CTest test holding many GoogleTest tests: count those, from
# each executable's own summary, and count an executable that failed without one (it crashed or
# did not start) as one failure.
count_wine_suite() {
  local log=$1 label=$2 gpass gfail exes crashed
  gpass=$(sed -nE 's/^[0-9]+: \[  PASSED  \] ([0-9]+) tests?\.$/\1/p' "$log" | awk '{s += $1} END {print s + 0}')
  gfail=$(sed -nE 's/^[0-9]+: \[  FAILED  \] ([0-9]+) tests?, listed below:$/\1/p' "$log" | awk '{s += $1} END {print s + 0}')
  exes=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: [^ ]+\.wine ' "$log")
  crashed=$(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: [^ ]+\.wine .*(Failed|Exception|Timeout|Not Run)' "$log" | wc -l)
  # An executable with failing tests printed its FAILED line; only the silent ones add a count.
  local reported
  reported=$(grep -cE '^[0-9]+: \[  FAILED  \] [0-9]+ tests?, listed below:$' "$log")
  ((crashed > reported)) && gfail=$((gfail + crashed - reported))
  passed=$((passed + gpass))
  failed=$((failed + gfail))
  windows_lines+=("$label: $gpass passed, $gfail failed ($exes test executables)")
}

# PEL_PRESETS narrows a run by hand (e.g. "win32 win64"); the test command runs them all.
for preset in ${PEL_PRESETS:-native asan win32 win64}; do
  echo "=== $preset: configure and build"
  if ! { cmake --preset "$preset" >"$logdir/$preset-configure.log" 2>&1 || { cat "$logdir/$preset-configure.log"; false; }; } ||
     ! cmake --build --preset "$preset"; then
    echo "=== $preset: BUILD FAILED"
    failed_presets+=("$preset")
    [[ $preset == win* ]] && windows_lines+=("$preset: BUILD FAILED, nothing of it ran")
    continue
  fi

  case $preset in
    native | asan)
      echo "=== $preset: test"
      ctest --preset "$preset" 2>&1 | tee "$logdir/$preset-test.log"
      rc=${PIPESTATUS[0]}
      count_ctest "$logdir/$preset-test.log"
      ((rc == 0)) || failed_presets+=("$preset")
      ;;
    win32 | win64)
      # The checks of the built library need no Wine and run everywhere.
      echo "=== $preset: static checks"
      ctest --preset "$preset" -R '[.]static$' 2>&1 | tee "$logdir/$preset-static.log"
      rc=${PIPESTATUS[0]}
      before_p=$passed before_f=$failed
      count_ctest "$logdir/$preset-static.log"
      windows_lines+=("$preset static checks: $((passed - before_p)) passed, $((failed - before_f)) failed")
      ((rc == 0)) || failed_presets+=("$preset")

      runner=can_run_$preset
      if ! $runner; then
        executables=$(ctest --preset "$preset" -N -R '[.]wine$' -FA '.*' 2>/dev/null | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
        if [[ $preset == win32 ]]; then
          why="this machine cannot execute 32-bit (i386) programs, which 32-bit Wine needs"
        else
          why="64-bit Wine (/usr/lib/wine/wine64) does not run here"
        fi
        echo "=== $preset: NOT RUN under Wine: $why; its ${executables:-?} test executables were built, not run"
        windows_lines+=("$preset under Wine: NOT RUN ($why): ${executables:-?} test executables built")
        not_run=$((not_run + ${executables:-1}))
        continue
      fi
      echo "=== $preset: test under Wine"
      # Verbose, so that the log shows each test executing under Wine and its counts.
      ctest --preset "$preset" -V -E '[.]static$' 2>&1 | tee "$logdir/$preset-test.log"
      rc=${PIPESTATUS[0]}
      count_wine_suite "$logdir/$preset-test.log" "$preset under $([[ $preset == win32 ]] && echo 32 || echo 64)-bit Wine"
      ((rc == 0)) || failed_presets+=("$preset")
      ;;
  esac
done

echo
for line in "${windows_lines[@]}"; do echo "Windows: $line"; done
if ((${#failed_presets[@]})); then
  echo "FAILED presets: ${failed_presets[*]}"
fi
if ((not_run)); then
  echo "all: $passed passed, $failed failed; $not_run Windows test executables NOT RUN (see the Windows lines above)"
else
  echo "all: $passed passed, $failed failed"
fi
((${#failed_presets[@]} == 0 && failed == 0))
