#!/usr/bin/env bash
# Runs the dispatch fuzzer (tests/automation/dispatch_fuzz.cpp) under Wine for longer than the
# test command's half-minute run, against the 32-bit DLL or, with --x64, the 64-bit one.
#   scripts/fuzz-dispatch.sh [seconds] [--x64] [--seed N] [--call I]     default: 1800 seconds
# --seed fixes the seed (default: a fresh one, printed); --seed N --call I replays one call and
# prints it with both answers. Builds in build/win32 or build/win64 and runs in a Wine prefix of
# its own there (build/<preset>/fuzz-wineprefix), one run at a time per build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage() { echo "usage: $0 [seconds] [--x64] [--seed N] [--call I]" >&2; exit 2; }

seconds=1800
preset=win32
options=()
while [ $# -gt 0 ]; do
  case "$1" in
    --x64) preset=win64 ;;
    --seed|--call) [ $# -ge 2 ] || usage; options+=("$1" "$2"); shift ;;
    [0-9]*) seconds=$1 ;;
    *) usage ;;
  esac
  shift
done

"$root/scripts/bootstrap.sh"
build=$root/build/$preset
prefix=$build/fuzz-wineprefix
mkdir -p "$build"
# A second run waits for the first: they share the build tree and the prefix.
exec 9>"$build/fuzz-wineprefix.lock"
flock 9
cmake --preset "$preset" >"$build/fuzz-configure.log" 2>&1 ||
  { tail -n 40 "$build/fuzz-configure.log" >&2; echo "configuring failed" >&2; exit 1; }
cmake --build "$build" -j2 --target automation_dispatch_fuzz >"$build/fuzz-build.log" 2>&1 ||
  { tail -n 60 "$build/fuzz-build.log" >&2; echo "building the fuzzer failed" >&2; exit 1; }

winearch=$([ "$preset" = win64 ] && echo win64 || echo win32)
"$root/scripts/wine-env.sh" "$prefix" start "$winearch" >&2
trap '"$root/scripts/wine-env.sh" "$prefix" stop' EXIT
"$root/scripts/wine-env.sh" "$prefix" run wine "$build/tests/automation/automation_dispatch_fuzz.exe" \
  --seconds "$seconds" "${options[@]}" </dev/null
