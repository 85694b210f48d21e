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
# Before and after, tests/setup/machine_state.sh takes a snapshot of what these scripts may change
# on the machine (binfmt_misc entries, mounts, control groups, dpkg architectures, processes of
# the root or the build tree, files outside the build tree and the cache): anything of ours that
# is new at the end counts as a failure (build/machine-state/ keeps both snapshots).
# Ends with one line "tests: N passed, N failed, N skipped"; exits non-zero when anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

state=$root/build/machine-state
mkdir -p "$state"
"$root/tests/setup/machine_state.sh" snapshot "$state/before.txt"
# Programs that honour TMPDIR keep their scratch files in the build tree; whatever is still there
# at the end was leaked, and the machine-state check names it.
export TMPDIR=$root/build/tmp PELLMORA_STATE_TMPDIR=$root/build/tmp
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"

held=0
finish() {
  [ "$held" -eq 0 ] || "$root/scripts/i386-root.sh" release $$ || true
  held=0
}
trap finish EXIT

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
  # Where i386 programs need qemu, its binfmt_misc entry stays registered from here to the end of
  # this run rather than coming and going with every program the tests start.
  if "$root/scripts/i386-root.sh" hold $$; then held=1; fi
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

# Wine keeps each prefix's server folder in $TMPDIR/wine-XXXXXX (named in the prefix's "wineserver"
# file) and leaves it behind, with a lock file, when the server ends. Those of this run's scratch
# folder, and those in /tmp named by this tree's prefixes, whose server has ended (no socket) are
# removed; nothing else is touched.
remove_wine_server_folders() {
  local folder server
  for folder in "$TMPDIR"/wine-*; do echo "$folder"; done >"$state/wine-folders"
  find "$root/build" -name wineserver -type f -size -65c -exec head -c 64 {} \; -exec echo \; 2>/dev/null |
    sed -n 's|^\(wine-[A-Za-z0-9]\{6\}\)$|/tmp/\1|p' >>"$state/wine-folders"
  while read -r folder; do
    [ -d "$folder" ] || continue
    for server in "$folder"/server-*; do
      [ -d "$server" ] && [ ! -e "$server/socket" ] || continue
      rm -f "$server/lock" && rmdir "$server" 2>/dev/null || true
    done
    rmdir "$folder" 2>/dev/null || true
  done < <(sort -u "$state/wine-folders")
  rm -f "$state/wine-folders"
}
remove_wine_server_folders
finish
echo "=== machine state"
"$root/tests/setup/machine_state.sh" snapshot "$state/after.txt"
if ! "$root/tests/setup/machine_state.sh" compare "$state/before.txt" "$state/after.txt"; then
  failed=$((failed + 1)); status=1
fi

echo "tests: $passed passed, $failed failed, $skipped skipped"
exit $status
