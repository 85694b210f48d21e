#!/usr/bin/env bash
# Makes the release files from the Windows builds that the tests test (build/win32, build/win64),
# in build/ or the folder given:
#   pellmora-<version>.zip      each architecture's Pellmora.dll, stripped, with its side-by-side
#                               manifest, the interface header and identifiers, the examples and
#                               README.txt
#   pellmora-<version>-x86.msi  the Windows Installer packages, built with wixl from the WiX source
#   pellmora-<version>-x64.msi  that each DLL build writes (scripts/release.py): per machine, and
#   pellmora-<version>-x86-user.msi   per user (no elevation, into the user's own programs folder)
#   pellmora-<version>-x64-user.msi
#   SHA256SUMS                  the checksums of the five
# Installs what is missing (unless PELLMORA_NO_BOOTSTRAP=1: the test command has done it) and
# builds what is out of date first.
#
#   scripts/package.sh [OUTPUT_FOLDER]
#
# Signing: with PELLMORA_SIGNING_CERTIFICATE (a PKCS#12 file holding the code-signing certificate
# and its key) and PELLMORA_SIGNING_PASSWORD (its password) set, both DLLs are signed before they
# go into the zip and the packages, and both packages after they are made (osslsigncode, SHA-256,
# no time stamp). Without them the files are unsigned, and the script says so.
#
# Reproducible: the same commit gives the same unsigned files, byte for byte, in any folder at any
# time. The time written into the DLLs' headers is SOURCE_DATE_EPOCH when set, otherwise the time
# of the last commit; everything else in the files is fixed (see scripts/release.py).
#
# Prints the release files' paths last.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)
output=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)

[ "${PELLMORA_NO_BOOTSTRAP:-0}" == 1 ] || "$root/scripts/bootstrap.sh"

for preset in win32 win64; do
  dir=$root/build/$preset
  echo "building Pellmora.dll in $dir ..." >&2
  cmake --preset "$preset" >/dev/null
  if ! cmake --build "$dir" -j"$jobs" --target pellmora_dll pellmora_public_headers >"$dir/package-build.log" 2>&1; then
    tail -n 60 "$dir/package-build.log" >&2
    echo "building Pellmora.dll in $dir failed" >&2
    exit 1
  fi
done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/win32/CMakeCache.txt")

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)
  if [ -z "$SOURCE_DATE_EPOCH" ]; then
    echo "NOTE: no git history and no SOURCE_DATE_EPOCH: the DLLs' time stamp is 0" >&2
    SOURCE_DATE_EPOCH=0
  fi
fi
export SOURCE_DATE_EPOCH

signing=0
if [ -n "${PELLMORA_SIGNING_CERTIFICATE:-}" ]; then
  [ -f "$PELLMORA_SIGNING_CERTIFICATE" ] || { echo "no certificate at $PELLMORA_SIGNING_CERTIFICATE" >&2; exit 1; }
  signing=1
else
  echo "NOTE: PELLMORA_SIGNING_CERTIFICATE is not set: the DLLs and packages are not signed" >&2
fi
# sign FILE: signs FILE in place.
sign() {
  [ "$signing" -eq 1 ] || return 0
  if ! osslsigncode sign -pkcs12 "$PELLMORA_SIGNING_CERTIFICATE" -pass "${PELLMORA_SIGNING_PASSWORD:-}" \
         -h sha256 -n "Pellmora $version" -in "$1" -out "$1.signed" >"$output/sign.log" 2>&1; then
    cat "$output/sign.log" >&2
    echo "signing $1 failed" >&2
    exit 1
  fi
  mv "$1.signed" "$1"
}

# The package's files, as the install rules of the builds lay them out.
stage=$output/stage
rm -rf "$stage"
for project in win32/dll win64/dll; do
  cmake --install "$root/build/$project" --component dll --prefix "$stage" >/dev/null
done
cmake --install "$root/build/win32" --component common --prefix "$stage" >/dev/null
for row in "x86 i686" "x64 x86_64"; do
  read -r architecture toolchain <<<"$row"
  # strip writes SOURCE_DATE_EPOCH into the header's time stamp.
  "$toolchain-w64-mingw32-strip" "$stage/$architecture/Pellmora.dll"
  sign "$stage/$architecture/Pellmora.dll"
done
# gcab stores each file's time in the packages' cabinets.
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

zip=$output/pellmora-$version.zip
rm -f "$zip"
python3 "$root/scripts/release.py" zip "$zip" "$stage"

files=("$zip")
for row in "x86 win32" "x64 win64" "x86 win32 -user" "x64 win64 -user"; do
  read -r architecture build scope <<<"$row"
  msi=$output/pellmora-$version-$architecture$scope.msi
  rm -f "$msi"
  if ! (cd "$stage" && wixl -a "$architecture" -o "$msi" "$root/build/$build/dll/deployment/Pellmora$scope.wxs") \
         >"$output/wixl.log" 2>&1 || [ ! -f "$msi" ]; then
    cat "$output/wixl.log" >&2
    echo "making $msi failed" >&2
    exit 1
  fi
  python3 "$root/scripts/release.py" package-code "$msi"
  sign "$msi"
  files+=("$msi")
done
rm -rf "$stage" "$output/wixl.log" "$output/sign.log"

(cd "$output" && sha256sum "${files[@]##*/}" >SHA256SUMS)
cmake -E tar tvf "$zip" >&2
printf '%s\n' "${files[@]}" "$output/SHA256SUMS"
