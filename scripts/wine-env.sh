#!/usr/bin/env bash
# Runs Wine in a private prefix: never ~/.wine.
#   wine-env.sh PREFIX start [win32|win64]  create the prefix once (default win32), start a
#                                          persistent wineserver and warm it
#   wine-env.sh PREFIX stop                stop the prefix's wineserver and every process in it
#   wine-env.sh PREFIX run CMD..           run CMD with the prefix's environment
#                                          (e.g. "wine regsvr32 /s x.dll")
# In a win64 prefix "wine" (and winepath, wineboot) run the 64-bit loader, so regsvr32, cscript
# and reg are the 64-bit programs working in the 64-bit registry view. In a win32 prefix on a
# machine without a 32-bit Wine of its own, wine, wineserver, wineboot and winepath run inside
# an emulated i386 root (scripts/wine-path.sh, scripts/i386-root.sh), which "start" makes
# first when it is missing: every caller of this script runs the 32-bit programs the same way.
set -euo pipefail
prefix=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-path.sh"

# The architecture is given when the prefix is created and read back from it afterwards.
arch=win32
if [ "${1:-}" = start ] && [ -n "${2:-}" ]; then
  arch=$2
elif grep -q '^#arch=win64' "$prefix/system.reg" 2>/dev/null; then
  arch=win64
fi
export WINEDEBUG=-all WINEARCH=$arch WINEPREFIX="$prefix" WINEDLLOVERRIDES="mscoree,mshtml="
wine_path_for "$arch"

case "${1:-}" in
  start)
    # Where the 32-bit programs need the emulated root, it is made now (minutes, once per
    # machine); when it cannot be made, every 32-bit test fails here with the reason.
    if [ "$arch" = win32 ] && wine32_in_root; then
      if ! "$here/i386-root.sh" ensure; then
        echo "cannot make the i386 root that runs 32-bit Wine on this machine: no $arch Wine" \
             "tests can run here" >&2
        exit 1
      fi
    fi
    if ! wine --version >/dev/null 2>&1; then
      echo "cannot run $arch Wine on this machine: no $arch Wine tests can run here" >&2
      exit 1
    fi
    # Every Wine process started here gets /dev/null for its standard streams: a service process
    # that inherited the caller's pipe would keep CTest waiting forever.
    # A prefix whose creation was cut short (a timeout, an interrupted run) lacks the marker and
    # is made again; reusing it would fail every later run.
    if [ ! -f "$prefix/.pellmora-complete" ]; then
      wineserver -k 2>/dev/null || true
      rm -rf "$prefix"
      mkdir -p "$prefix"
      wineboot -i </dev/null >/dev/null 2>&1
      wineserver -w
      touch "$prefix/.pellmora-complete"
    fi
    # A wineserver may still run for this prefix (a run cut short, a program started by hand):
    # "wineserver -p" then exits with status 2 and starts nothing. That server serves the tests
    # as well, so it is used rather than failing every Wine test of the run.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    echo "wine prefix ready: $prefix ($arch)"
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    ;;
  run)
    shift
    exec "$@"
    ;;
  *)
    echo "usage: $0 PREFIX start [win32|win64] | stop | run CMD..." >&2
    exit 2
    ;;
esac
