#!/usr/bin/env bash
# The main job: installs what is missing, builds Pellmora.dll, registers it with regsvr32 in a
# private Wine prefix inside the build directory (never ~/.wine) and runs the VBScript example on
# a connection string, printing every setting and the three ready-made forms.
#
#   scripts/run-example.sh [--x64] ["connection string"]
#
# Without a connection string the example parses its built-in sample. By default the 32-bit DLL
# (build/win32) runs in a 32-bit script host (in an emulated i386 root where this machine has no
# 32-bit Wine of its own: scripts/wine-env.sh); --x64 runs the 64-bit DLL (build/win64) in the
# 64-bit script host of a 64-bit prefix (build/win64/wineprefix).
#
# Every character is shown as it is, in UTF-8: the example writes its lines as UTF-16 into a file
# that is printed here, because a script host writes a redirected standard output in the console's
# code page, which turns everything outside that code page into "?".
# PELLMORA_EXAMPLE_PREFIX names another Wine prefix to use (the tests give a fresh one).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

usage() { echo "usage: $0 [--x64] [\"connection string\"]" >&2; exit 2; }
preset=win32
winearch=win32
if [ $# -gt 0 ] && [ "$1" == --x64 ]; then
  preset=win64
  winearch=win64
  shift
fi
[ $# -le 1 ] || usage
[ $# -eq 0 ] || [[ "$1" != --* ]] || usage

"$root/scripts/bootstrap.sh"

# Wine keeps its server folder under TMPDIR and leaves it behind: in the build tree (where the
# test command keeps its own), not in /tmp.
export TMPDIR=$root/build/tmp
mkdir -p "$TMPDIR"

build=$root/build/$preset
prefix=${PELLMORA_EXAMPLE_PREFIX:-$build/wineprefix}
echo "building Pellmora.dll in $build ..." >&2
mkdir -p "$build"
cmake --preset "$preset" >"$build/configure.log" 2>&1 || {
  tail -n 40 "$build/configure.log" >&2; echo "configuring failed" >&2; exit 1; }
cmake --build "$build" -j"$jobs" --target pellmora_dll >"$build/example-build.log" 2>&1 || {
  tail -n 60 "$build/example-build.log" >&2; echo "building Pellmora.dll failed" >&2; exit 1; }
# Written at configure time by examples/CMakeLists.txt: where the build puts the DLL.
dll=$(cat "$build/examples/pellmora-dll-path.txt")

wine_run() { "$root/scripts/wine-env.sh" "$prefix" run "$@" </dev/null; }

echo "starting the Wine prefix $prefix ..." >&2
"$root/scripts/wine-env.sh" "$prefix" start "$winearch" >&2
output=$(mktemp "$build/example-output.XXXXXX")
trap 'rm -f "$output"; "$root/scripts/wine-env.sh" "$prefix" stop' EXIT

dll_windows=$(wine_run winepath -w "$dll" 2>/dev/null)
script_windows=$(wine_run winepath -w "$root/examples/connection_string.vbs" 2>/dev/null)
output_windows=$(wine_run winepath -w "$output" 2>/dev/null)

if ! wine_run wine regsvr32 /s "$dll_windows"; then
  echo "regsvr32 could not register $dll_windows" >&2
  exit 1
fi
echo "registered $dll_windows" >&2
echo >&2

set +e
console=$(wine_run wine cscript //nologo "$script_windows" "/out:$output_windows" "$@" 2>&1)
status=$?
set -e
# What the script host itself printed (it could not start the script, say), then the example's lines.
[ -z "$console" ] || printf '%s\n' "${console//$'\r'/}"
[ ! -s "$output" ] || iconv -f UTF-16 -t UTF-8 "$output" | tr -d '\r'
exit "$status"
