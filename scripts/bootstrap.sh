#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent: when everything is
# already there it only checks and returns within a second or two.
#
# The archive is sometimes briefly out of step: one index fails to download while a mirror syncs,
# or the i386 libraries lag behind their amd64 twins so that an i386 package cannot be installed.
# The set-up survives both: `apt-get update` is retried, an index that still fails only matters if
# a package we need cannot be installed, and a package that cannot be installed is named, with
# what its absence means. Only a package the build cannot do without stops the set-up.
set -euo pipefail

scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Needed by the build or the tests: the set-up stops when one cannot be installed.
required=(
  cmake make g++ googletest libbenchmark-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 libwine-dev
  clang libclang-rt-14-dev clang-format
  wixl msitools osslsigncode openssl python3
  debootstrap
)
# node and npm run the peer parser of the interoperability test; any installed node will do.
command -v node >/dev/null && command -v npm >/dev/null || required+=(nodejs npm)

# Wanted, each with what its absence means; the set-up goes on without it. Wanted packages are tried
# whenever the set-up installs something; when they are all that is missing, the set-up only says
# so (no trip to the network on every run) unless asked with --retry.
declare -A meaning=()
# The host's 32-bit Wine runs the 32-bit tests natively, where the kernel runs i386 programs.
# Elsewhere, or when the archive cannot install it, they run in an emulated i386 root.
emulated="32-bit Wine tests will run under emulation"
runs_32_bit=yes
"$scripts/runs-32-bit.sh" || runs_32_bit=no
[ $runs_32_bit == no ] || meaning[wine32:i386]=$emulated

# One query for every package keeps the check fast when nothing is missing.
native=$(dpkg --print-architecture)
status=$(dpkg-query -W -f='${db:Status-Status} ${Package}:${Architecture}\n' \
  "${required[@]}" "${!meaning[@]}" 2>/dev/null || true)
installed() {
  if [[ $1 == *:* ]]; then
    grep -qxF "installed $1" <<<"$status"
  else
    grep -qxF -e "installed $1:$native" -e "installed $1:all" <<<"$status"
  fi
}
missing=()
for p in "${required[@]}"; do
  installed "$p" || missing+=("$p")
done
for p in "${!meaning[@]}"; do
  installed "$p" && continue
  if [ ${#missing[@]} -eq 0 ] && [ "${1:-}" != --retry ]; then
    echo "bootstrap: $p is not installed: ${meaning[$p]} (scripts/bootstrap.sh --retry tries again)" >&2
  else
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
say() { echo "bootstrap: $*" >&2; }

say "installing ${missing[*]}"
[ $runs_32_bit == yes ] || say "this kernel runs no i386 programs: $emulated"
# apt sees i386 packages only once the architecture is added; when none of them is installed in
# the end (the archive cannot install wine32:i386, or the set-up stops), the architecture added
# here is removed again on the way out, or every later `apt-get update` would fetch i386 indexes.
# (dpkg refuses to remove an architecture that installed packages use.)
added_i386=0
remove_added_i386() {
  [ $added_i386 -eq 1 ] || return 0
  dpkg-query -W -f='${db:Status-Status}\n' 'wine32:i386' 2>/dev/null | grep -qx installed && return 0
  $sudo dpkg --remove-architecture i386 && say "removed the i386 architecture again: no i386 package was installed"
}
trap remove_added_i386 EXIT
for p in "${missing[@]}"; do
  if [[ $p == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    added_i386=1
    say "added the i386 architecture to dpkg for $p"
    break
  fi
done

# A failed index leaves the others updated; whether that matters is decided by what apt can install.
attempts=3
for ((attempt = 1; ; attempt++)); do
  $sudo apt-get update -qq && break
  if ((attempt == attempts)); then
    say "apt-get update failed $attempts times; going on with the package lists apt has"
    break
  fi
  say "apt-get update failed; retrying in 10 s"
  sleep 10
done

# Simulates installing the given packages (nothing changes); prints apt's complaint on failure.
installable() {
  local out
  out=$($sudo apt-get install -s -qq --no-install-recommends "$@" 2>&1) && return 0
  grep -v '^Inst \|^Conf ' <<<"$out" | sed 's/^/  /' >&2
  return 1
}
chosen=("${missing[@]}")
if ! installable "${chosen[@]}" 2>/dev/null; then
  chosen=()
  blocked=()
  for p in "${missing[@]}"; do
    if installable "$p" 2>/dev/null; then
      chosen+=("$p")
    elif [ -n "${meaning[$p]:-}" ]; then
      say "$p cannot be installed from the archive now: ${meaning[$p]}"
    else
      blocked+=("$p")
    fi
  done
  if [ ${#blocked[@]} -gt 0 ]; then
    say "cannot build without ${blocked[*]}, which the archive cannot install now; apt says:"
    for p in "${blocked[@]}"; do installable "$p" || true; done
    exit 1
  fi
  if [ ${#chosen[@]} -gt 0 ] && ! installable "${chosen[@]}"; then
    say "apt cannot install ${chosen[*]} together (see above)"
    exit 1
  fi
fi
[ ${#chosen[@]} -eq 0 ] && exit 0
if ! $sudo apt-get install -y -qq --no-install-recommends "${chosen[@]}" >/dev/null; then
  say "apt-get could not install ${chosen[*]}"
  exit 1
fi
