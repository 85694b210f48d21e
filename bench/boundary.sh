#!/usr/bin/env bash
# The boundary benchmark in one run: builds what it needs, times the DLL under Wine through the
# real component runtime (bench/wine), then the independent peer parser under node on exactly
# the strings the Wine benchmark timed, and prints one Markdown table with the ratios and their
# targets, the machine and this command.
#   bench/boundary.sh [PRESET]      PRESET: a Windows build of CMakePresets.json, default win32
# Exit code 1 when a step failed or a figure is missing; a missed target is reported, not an error.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
preset=${1:-win32}
build=$root/build/$preset
prefix=$build/wineprefix
inputs=$build/bench/boundary-inputs
wine_benchmark=dispatch_benchmark

"$root/scripts/bootstrap.sh"
cmake --preset "$preset" >/dev/null
cmake --build "$build" -j2 --target "$wine_benchmark" peer_parser >"$build/boundary-build.log" 2>&1 ||
  { tail -n 40 "$build/boundary-build.log"; echo "boundary: build failed" >&2; exit 1; }

# A 64-bit build runs under the 64-bit loader in a 64-bit prefix (the machine field of the PE header).
benchmark_exe=$build/bench/wine/$wine_benchmark.exe
pe_header=$(od -An -tu4 -j60 -N4 "$benchmark_exe" | tr -d ' ')
if [ "$(od -An -tx2 -j$((pe_header + 4)) -N2 "$benchmark_exe" | tr -d ' ')" = 8664 ]; then
  PELLMORA_WINEARCH=win64 PELLMORA_WINE=/usr/lib/wine/wine64
  dll="64-bit DLL"
else
  PELLMORA_WINEARCH=win32 PELLMORA_WINE=wine
  dll="32-bit DLL"
  # Without a 32-bit Wine of its own, this machine runs it emulated: figures not comparable.
  source "$root/scripts/wine-path.sh"
  if wine32_in_root; then dll="32-bit DLL (emulated by qemu-user in an i386 root)"; fi
fi
wine_env() { "$root/scripts/wine-env.sh" "$prefix" "$@"; }
wine_env start "$PELLMORA_WINEARCH" >/dev/null
trap 'wine_env stop' EXIT

rm -rf "$inputs" && mkdir -p "$inputs"
ours=$(wine_env run "$PELLMORA_WINE" "$benchmark_exe" --inputs "Z:${inputs//\//\\}" </dev/null)
ours=${ours//$'\r'/}
printf '%s\n' "$ours"
peer=$(node "$root/bench/peer/peer_benchmark.js" --peer-modules "$build/peer/node_modules" --inputs "$inputs")
printf '%s\n' "$peer"

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
machine="${cpu:-unknown CPU}, $(nproc) cores; $dll under $(wine_env run "$PELLMORA_WINE" --version </dev/null); $(sed -n 's/^peer parser: //p' <<<"$peer")"
echo
printf '%s\n%s\n' "$ours" "$peer" | node "$root/bench/peer/boundary_table.js" --machine "$machine" --command "bench/boundary.sh${1:+ $1}"
