#!/usr/bin/env bash
# Runs Wine in a private prefix: never ~/.wine.
#   wine-env.sh PREFIX start      create the prefix once, start a persistent wineserver and warm it
#   wine-env.sh PREFIX stop       stop the prefix's wineserver and every process in it
#   wine-env.sh PREFIX run CMD..  run CMD with the prefix's environment (e.g. "wine regsvr32 /s x.dll")
set -euo pipefail
prefix=$1; shift
export WINEDEBUG=-all WINEARCH=win32 WINEPREFIX="$prefix" WINEDLLOVERRIDES="mscoree,mshtml="

case "${1:-}" in
  start)
    # Every Wine process started here gets /dev/null for its standard streams: a service process
    # that inherited the caller's pipe would keep CTest waiting forever.
    if [ ! -f "$prefix/system.reg" ]; then
      mkdir -p "$prefix"
      wineboot -i </dev/null >/dev/null 2>&1
      wineserver -w
    fi
    wineserver -p </dev/null >/dev/null 2>&1
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    echo "wine prefix ready: $prefix"
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    ;;
  run)
    shift
    exec "$@"
    ;;
  *)
    echo "usage: $0 PREFIX start|stop|run CMD..." >&2
    exit 2
    ;;
esac
