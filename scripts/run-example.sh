#!/usr/bin/env bash
# The main job: installs what is missing, builds Pellmora.dll (build/win32), registers it with
# regsvr32 in a private Wine prefix inside the build directory (never ~/.wine) and runs the
# VBScript example on a connection string, printing every setting and the three ready-made forms.
#
#   scripts/run-example.sh ["connection string"]
#
# Without an argument the example parses its built-in sample.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/win32
prefix=$build/wineprefix
jobs=$(nproc 2>/dev/null || echo 2)

if [ $# -gt 1 ]; then
  echo "usage: $0 [\"connection string\"]" >&2
  exit 2
fi

"$root/scripts/bootstrap.sh"

echo "building Pellmora.dll in $build ..." >&2
mkdir -p "$build"
cmake --preset win32 >"$build/configure.log" 2>&1 || {
  tail -n 40 "$build/configure.log" >&2; echo "configuring failed" >&2; exit 1; }
cmake --build "$build" -j"$jobs" --target pellmora_dll >"$build/example-build.log" 2>&1 || {
  tail -n 60 "$build/example-build.log" >&2; echo "building Pellmora.dll failed" >&2; exit 1; }
# Written at configure time by examples/CMakeLists.txt: where the build puts the DLL.
dll=$(cat "$build/examples/pellmora-dll-path.txt")

wine_run() { "$root/scripts/wine-env.sh" "$prefix" run "$@"; }

echo "starting the Wine prefix $prefix ..." >&2
"$root/scripts/wine-env.sh" "$prefix" start >&2
trap '"$root/scripts/wine-env.sh" "$prefix" stop' EXIT

dll_windows=$(wine_run winepath -w "$dll" 2>/dev/null)
script_windows=$(wine_run winepath -w "$root/examples/connection_string.vbs" 2>/dev/null)

if ! wine_run wine regsvr32 /s "$dll_windows" </dev/null; then
  echo "regsvr32 could not register $dll_windows" >&2
  exit 1
fi
echo "registered $dll_windows" >&2
echo >&2

args=(wine cscript //nologo "$script_windows")
[ $# -eq 1 ] && args+=("$1")
# cscript writes CR LF line ends; print plain lines.
set +e
wine_run "${args[@]}" </dev/null | tr -d '\r'
status=${PIPESTATUS[0]}
set -e
exit "$status"
