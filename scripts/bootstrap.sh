#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent: when everything is
# already there it only checks and returns within a second or two.
set -euo pipefail

packages=(
  cmake make g++ googletest libbenchmark-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  wine wine32:i386 wine64 libwine-dev
  clang libclang-rt-14-dev
)
# node and npm run the peer parser of the interoperability test; any installed node will do.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

echo "bootstrap: installing ${missing[*]}"
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
