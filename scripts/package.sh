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
# go into the zip and the packages, and both packages after they are made (osslsigncode, SHA-256).
# The password reaches osslsigncode through a file of mode 0600 in the script's own temporary
# folder, never through a command line (which every local user can read) nor the environment of
# the other programs. With PELLMORA_SIGNING_TIMESTAMP_URL set, each signature gets an RFC 3161 time
# stamp from that authority, so it stays valid after the certificate expires. Without a
# certificate the files are unsigned, and the script says so.
#
# Everything is made in a temporary folder of the script's own (removed on every way out) and
# only the finished files are moved into the output folder: nothing else there is touched.
#
# Reproducible: the same commit gives the same unsigned files, byte for byte, in any folder at any
# time. The time written into the DLLs' headers is SOURCE_DATE_EPOCH when set, otherwise the time
# of the last commit; everything else in the files is fixed (see scripts/release.py).
#
# Prints the release files' paths last.
set -euo pipefail
# The password stays in this shell, before any program starts: none needs it in its environment.
password=${PELLMORA_SIGNING_PASSWORD:-}
unset PELLMORA_SIGNING_PASSWORD
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)
output=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

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
credentials=()
timestamp=()
if [ -n "${PELLMORA_SIGNING_CERTIFICATE:-}" ]; then
  [ -f "$PELLMORA_SIGNING_CERTIFICATE" ] || { echo "no certificate at $PELLMORA_SIGNING_CERTIFICATE" >&2; exit 1; }
  signing=1
  # printf is a shell builtin: the password appears in no process's command line. (osslsigncode
  # refuses an empty password file; a key without a password needs none.)
  if [ -n "$password" ]; then
    (umask 077 && printf '%s' "$password" >"$work/password")
    credentials+=(-readpass "$work/password")
  fi
  if [ -n "${PELLMORA_SIGNING_TIMESTAMP_URL:-}" ]; then
    timestamp=(-ts "$PELLMORA_SIGNING_TIMESTAMP_URL")
  else
    echo "NOTE: PELLMORA_SIGNING_TIMESTAMP_URL is not set: the signatures expire with the certificate" >&2
  fi
else
  echo "NOTE: PELLMORA_SIGNING_CERTIFICATE is not set: the DLLs and packages are not signed" >&2
fi
# sign FILE: signs FILE in place.
sign() {
  [ "$signing" -eq 1 ] || return 0
  if ! osslsigncode sign -pkcs12 "$PELLMORA_SIGNING_CERTIFICATE" "${credentials[@]}" \
         -h sha256 -n "Pellmora $version" "${timestamp[@]}" -in "$1" -out "$1.signed" >"$work/sign.log" 2>&1; then
    cat "$work/sign.log" >&2
    echo "signing $1 failed" >&2
    exit 1
  fi
  mv "$1.signed" "$1"
}

# The package's files, as the install rules of the builds lay them out.
stage=$work/stage
made=$work/release
mkdir -p "$made"
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

zip=$made/pellmora-$version.zip
python3 "$root/scripts/release.py" zip "$zip" "$stage"

files=("$zip")
for row in "x86 win32" "x64 win64" "x86 win32 -user" "x64 win64 -user"; do
  read -r architecture build scope <<<"$row"
  msi=$made/pellmora-$version-$architecture$scope.msi
  if ! (cd "$stage" && wixl -a "$architecture" -o "$msi" "$root/build/$build/dll/deployment/Pellmora$scope.wxs") \
         >"$work/wixl.log" 2>&1 || [ ! -f "$msi" ]; then
    cat "$work/wixl.log" >&2
    echo "making $msi failed" >&2
    exit 1
  fi
  python3 "$root/scripts/release.py" package-code "$msi"
  sign "$msi"
  files+=("$msi")
done
(cd "$made" && sha256sum "${files[@]##*/}" >SHA256SUMS)
cmake -E tar tvf "$zip" >&2
# Only now, all made: the release's own names in the output folder are replaced, nothing else.
names=("${files[@]##*/}" SHA256SUMS)
for name in "${names[@]}"; do mv -f "$made/$name" "$output/$name"; done
for name in "${names[@]}"; do echo "$output/$name"; done
