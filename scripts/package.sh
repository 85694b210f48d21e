#!/usr/bin/env bash
# Makes the release package build/pellmora-<version>.zip from the Windows builds that the tests
# test (build/win32 and build/win64): each architecture's Pellmora.dll, stripped, with its
# side-by-side manifest, the interface header and identifiers, the examples and README.txt.
# Installs what is missing and builds what is out of date first.
#
#   scripts/package.sh
#
# Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

"$root/scripts/bootstrap.sh"

presets=(win32)
# The 64-bit build joins the package when its preset exists.
grep -q '"name": "win64"' CMakePresets.json && presets+=(win64)
for preset in "${presets[@]}"; do
  dir=$root/build/$preset
  echo "building Pellmora.dll in $dir ..." >&2
  cmake --preset "$preset" >/dev/null
  if ! cmake --build "$dir" -j"$jobs" --target pellmora_dll pellmora_public_headers >"$dir/package-build.log" 2>&1; then
    tail -n 60 "$dir/package-build.log" >&2
    echo "building Pellmora.dll in $dir failed" >&2
    exit 1
  fi
done

echo "packing ..." >&2
if ! cpack --config "$root/build/win32/CPackConfig.cmake" -B "$root/build" >"$root/build/package.log" 2>&1; then
  cat "$root/build/package.log" >&2
  echo "packing failed" >&2
  exit 1
fi
package=$(sed -n -E 's/^CPack: - package: (.*\.zip) generated\.$/\1/p' "$root/build/package.log")
[ -f "$package" ] || { cat "$root/build/package.log" >&2; echo "no package was made" >&2; exit 1; }
cmake -E tar tvf "$package" >&2
echo "$package"
