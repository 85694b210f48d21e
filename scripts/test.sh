#!/usr/bin/env bash
# The one test command: installs what is missing, then builds and tests
#   build/host      native g++: unit tests of the portable parts
#   build/sanitize  clang with AddressSanitizer and UndefinedBehaviorSanitizer: the same unit tests,
#                   plus a short fuzzing run of the registration-script engine
#   build/win32     mingw-w64 i686: Pellmora.dll and every test program, run under Wine in a
#                   private prefix inside the build directory
# Ends with one line "tests: N passed, N failed"; exits non-zero when anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

"$root/scripts/bootstrap.sh"

passed=0
failed=0
status=0

# build_and_test DIR CTEST_ARGS... -- CMAKE_ARGS...
build_and_test() {
  local dir=$1; shift
  local ctest_args=()
  while [ "$1" != "--" ]; do ctest_args+=("$1"); shift; done
  shift
  echo "=== $dir"
  cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  if ! cmake --build "$root/$dir" -j"$jobs" >"$root/$dir/build.log" 2>&1; then
    tail -n 60 "$root/$dir/build.log"
    echo "build failed: $dir"
    failed=$((failed + 1)); status=1
    return
  fi
  local log="$root/$dir/ctest.log"
  if ctest --test-dir "$root/$dir" --output-on-failure "${ctest_args[@]}" 2>&1 | tee "$log"; then :; else status=1; fi
  local summary
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -z "$summary" ]; then
    failed=$((failed + 1)); status=1
    return
  fi
  local total bad
  bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
  total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$summary")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  [ "$bad" -eq 0 ] || status=1
}

build_and_test build/host -j"$jobs" -- -DPELLMORA_BENCHMARKS=ON
build_and_test build/sanitize -j"$jobs" -- \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DPELLMORA_SANITIZE=ON -DPELLMORA_FUZZ=ON -DPELLMORA_BENCHMARKS=OFF
# Wine tests share one prefix and its registry: they run one at a time.
build_and_test build/win32 -- -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake"

echo "tests: $passed passed, $failed failed"
exit $status
