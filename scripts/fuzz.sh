#!/usr/bin/env bash
# Runs the registration-script fuzz target for longer than the test command's one-minute smoke.
#   scripts/fuzz.sh [seconds] [build dir]     defaults: 1800 seconds, build/fuzz
# Builds the target with clang, AddressSanitizer and UndefinedBehaviorSanitizer first. New inputs
# accumulate in <build dir>/tests/fuzz/registrar_fuzz_corpus; crashes are written to the current directory.
set -euo pipefail
seconds=${1:-1800}
build=${2:-build/fuzz}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

CC=clang CXX=clang++ cmake -S . -B "$build" -DPELLMORA_SANITIZE=ON -DPELLMORA_FUZZ=ON -DPELLMORA_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j2 --target registrar_fuzz

fuzz_dir="$build/tests/fuzz"
# FUZZ_JOBS=n runs n fuzzing processes side by side (their logs go to fuzz-<n>.log).
parallel=()
if [ "${FUZZ_JOBS:-1}" -gt 1 ]; then parallel=(-jobs="$FUZZ_JOBS" -workers="$FUZZ_JOBS"); fi
exec "$fuzz_dir/registrar_fuzz" -max_total_time="$seconds" -max_len=16384 -timeout=20 -rss_limit_mb=2048 \
  -dict="$root/tests/fuzz/registrar.dict" -print_final_stats=1 "${parallel[@]}" \
  "$fuzz_dir/registrar_fuzz_corpus" "$fuzz_dir/seeds"
