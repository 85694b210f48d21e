#!/usr/bin/env bash
# The boundary benchmark in one run: builds what it needs, times the DLL under Wine through the
# real component runtime (bench/wine), then the independent peer parser under node on exactly
# the strings the Wine benchmark timed, then a VBScript loop under cscript (bench/wine/
# script_iteration.vbs, the DLL registered with regsvr32), and prints one Markdown table with the
# ratios and their targets, the machine and this command.
#   bench/boundary.sh [PRESET [BEFORE_DLL]]
# PRESET: a Windows build of CMakePresets.json, default win32. BEFORE_DLL: an earlier build of the
# DLL (same architecture, another file name), timed side by side with this one and through the
# same script, so that the table also says what a change gained.
# Exit code 1 when a step failed or a figure is missing; a missed target is reported, not an error.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
preset=${1:-win32}
before_dll=${2:+$(realpath "$2")}
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
  # Without a 32-bit Wine of its own, this machine runs it in the i386 root: natively where the
  # kernel runs i386 programs, otherwise emulated by qemu-user (figures not comparable).
  source "$root/scripts/wine-path.sh"
  if wine32_in_root; then
    if "$root/scripts/runs-32-bit.sh"; then
      dll="32-bit DLL (in an i386 root, run natively)"
    else
      dll="32-bit DLL (emulated by qemu-user in an i386 root)"
    fi
  fi
fi
wine_env() { "$root/scripts/wine-env.sh" "$prefix" "$@"; }
wine_env start "$PELLMORA_WINEARCH" >/dev/null
trap 'wine_env stop' EXIT

rm -rf "$inputs" && mkdir -p "$inputs"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
dll_path=$build/dll/src/module/Pellmora.dll
dll_options=()
if [ -n "$before_dll" ]; then
  dll_options=(--dll "$(windows_path "$dll_path")" --dll "$(windows_path "$before_dll")")
fi
ours=$(wine_env run "$PELLMORA_WINE" "$benchmark_exe" --inputs "$(windows_path "$inputs")" "${dll_options[@]}" </dev/null)
# The script host of the DLL's architecture, creating the object in process.
script_figure() {  # DLL NAME
  wine_env run "$PELLMORA_WINE" regsvr32 /s "$(windows_path "$1")" </dev/null
  wine_env run "$PELLMORA_WINE" cscript //nologo "$(windows_path "$root/bench/wine/script_iteration.vbs")" "$2" </dev/null
  wine_env run "$PELLMORA_WINE" regsvr32 /s /u "$(windows_path "$1")" </dev/null
}
if [ -n "$before_dll" ]; then ours+=$'\n'$(script_figure "$before_dll" before_script_iteration_us); fi
ours+=$'\n'$(script_figure "$dll_path" script_iteration_us)
ours=${ours//$'\r'/}
printf '%s\n' "$ours"
peer=$(node "$root/bench/peer/peer_benchmark.js" --peer-modules "$build/peer/node_modules" --inputs "$inputs")
printf '%s\n' "$peer"

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
machine="${cpu:-unknown CPU}, $(nproc) cores; $dll under $(wine_env run "$PELLMORA_WINE" --version </dev/null); $(sed -n 's/^peer parser: //p' <<<"$peer")"
echo
printf '%s\n%s\n' "$ours" "$peer" | node "$root/bench/peer/boundary_table.js" --machine "$machine" --command "bench/boundary.sh${1:+ $1}${2:+ $2}"
