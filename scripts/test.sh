#!/usr/bin/env bash
# The one test command: installs what is missing, then builds and tests
#   build/host      native g++: unit tests of the portable parts
#   build/sanitize  clang with AddressSanitizer and UndefinedBehaviorSanitizer: the same unit tests,
#                   plus a short fuzzing run of the registration-script engine
#   build/win32     mingw-w64 i686: Pellmora.dll and every test program, run under Wine in a
#                   private prefix inside the build directory (inside an i386 root where this
#                   machine has no 32-bit Wine of its own: scripts/i386-root.sh)
#   build/win64     mingw-w64 x86_64: the 64-bit Pellmora.dll and the same Wine tests, in a
#                   private win64 prefix through the 64-bit loader
#   build/pellmora-<version>.zip, build/pellmora-<version>-x86.msi, -x64.msi, SHA256SUMS
#                   the release files, made from the two DLLs above and tested (the zip; the
#                   installer packages under Wine; signing; a second build that must give the
#                   same bytes): the "package" label of build/win32
# Ends with one line "tests: N passed, N failed, N skipped"; exits non-zero when anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

"$root/scripts/bootstrap.sh"

passed=0
failed=0
skipped=0
status=0

# Where this machine has no 32-bit Wine of its own (no wine32, or a kernel that runs no i386
# program), the 32-bit DLL's Wine tests run in an i386 root (scripts/i386-root.sh), made
# here on the first run and kept in a cache folder. When it cannot be made, they fail, loudly:
# the 32-bit DLL is the primary product and is never left untested.
source "$root/scripts/wine-path.sh"
if wine32_in_root; then
  echo "NOTE: no 32-bit Wine on this machine: the 32-bit DLL's Wine tests run in an i386 root"
  echo "      ($("$root/scripts/i386-root.sh" dir)), made now if it is missing (minutes, once)."
  if ! "$root/scripts/i386-root.sh" ensure; then
    echo "FAIL: cannot make the i386 root: the 32-bit Wine tests cannot run"
    failed=$((failed + 1)); status=1
  fi
fi

# build_and_test PRESET CTEST_ARGS...   (presets in CMakePresets.json; each builds in build/PRESET)
build_and_test() {
  local preset=$1; shift
  local dir=build/$preset
  echo "=== $dir"
  cmake --preset "$preset" >/dev/null
  if ! cmake --build "$root/$dir" -j"$jobs" >"$root/$dir/build.log" 2>&1; then
    tail -n 60 "$root/$dir/build.log"
    echo "build failed: $dir"
    failed=$((failed + 1)); status=1
    return
  fi
  local log="$root/$dir/ctest.log"
  if ctest --test-dir "$root/$dir" --output-on-failure "$@" 2>&1 | tee "$log"; then :; else status=1; fi
  count_tests "$log"
}

# count_tests LOG: adds the counts of one CTest run's summary to the totals; no summary counts
# as one failure.
count_tests() {
  local summary
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$1" | tail -n 1 || true)
  if [ -z "$summary" ]; then
    failed=$((failed + 1)); status=1
    return
  fi
  local total bad
  bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
  total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$summary")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  # Tests that skip themselves (CTest's "Skipped") count as passed in its summary: count them.
  local skip
  skip=$(grep -c '(Skipped)$' "$1" || true)
  passed=$((passed - skip))
  skipped=$((skipped + skip))
  [ "$bad" -eq 0 ] || status=1
}

build_and_test host -j"$jobs"
build_and_test sanitize -j"$jobs"
# Wine tests share one prefix and its registry: they run one at a time.
build_and_test win32 -LE package
build_and_test win64 -LE package

# The release package, from the DLLs just tested, and its test (labelled "package").
echo "=== release package"
if "$root/scripts/package.sh" >/dev/null; then
  ctest --test-dir "$root/build/win32" --output-on-failure -L package 2>&1 | tee "$root/build/package-ctest.log" || status=1
  count_tests "$root/build/package-ctest.log"
else
  echo "making the release package failed"
  failed=$((failed + 1)); status=1
fi

echo "tests: $passed passed, $failed failed, $skipped skipped"
exit $status
