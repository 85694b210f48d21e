#!/usr/bin/env bash
# Runs a command in a fresh Wine prefix, where nothing has been registered or installed:
#   in_fresh_prefix.sh WINEARCH WORK COMMAND...
# WORK/prefix becomes a new copy of a prefix made once per build directory (WORK/../ holds it)
# and never used; Wine's environment is exported for COMMAND, the prefix's wineserver is started
# and warmed first and stopped afterwards. Making a prefix takes from seconds to many minutes,
# copying one a moment. Exits with COMMAND's status.
set -uo pipefail
winearch=$1 work=$2
shift 2
template=$(dirname "$work")/prefix-template-$winearch
prefix=$work/prefix

# (A 64-bit prefix is made and runs its services through the 64-bit loader. A 32-bit one, where
# this machine has no 32-bit Wine of its own, in the emulated i386 root: scripts/wine-path.sh.)
if [ "$winearch" == win64 ]; then
  loader=/usr/lib/wine/wine64
else
  loader=wine
  source "$(dirname "$0")/../../scripts/wine-path.sh"
  wine_path_for win32
  if wine32_in_root && ! "$wine_scripts/i386-root.sh" ensure; then
    echo "FAIL: cannot make the i386 root that runs 32-bit Wine on this machine"
    exit 1
  fi
fi
if [ ! -f "$template/.complete" ]; then
  echo "making a $winearch prefix template (once per build directory) ..."
  rm -rf "$template"
  mkdir -p "$template"
  if ! WINEDEBUG=-all WINEARCH=$winearch WINEPREFIX=$template "$loader" wineboot -i </dev/null >/dev/null 2>&1; then
    echo "FAIL: wineboot could not make $template"
    exit 1
  fi
  WINEPREFIX=$template wineserver -w
  # A 64-bit prefix made where the 32-bit loader cannot run lacks its 32-bit half: use it this
  # once, but make a complete one next time.
  if [ "$winearch" == win32 ] || /usr/lib/wine/wine --version >/dev/null 2>&1; then
    touch "$template/.complete"
  fi
fi
rm -rf "$work"
mkdir -p "$work"
cp -a "$template" "$prefix"
rm -f "$prefix/.complete"

export WINEDEBUG=-all WINEARCH=$winearch WINEPREFIX=$prefix WINEDLLOVERRIDES="mscoree,mshtml="
# Every Wine process gets /dev/null for its standard streams: a service process that inherited
# the caller's pipe would keep CTest waiting.
wineserver -p </dev/null >/dev/null 2>&1
"$loader" cmd /c exit 0 </dev/null >/dev/null 2>&1
"$@"
status=$?
wineserver -k 2>/dev/null
exit $status
