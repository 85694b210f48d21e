#!/usr/bin/env bash
# The set-up's decisions, without the network: scripts/bootstrap.sh runs against stand-ins for
# apt-get, dpkg, dpkg-query, sudo and sleep, and for scripts/runs-32-bit.sh, one scenario per row.
# Usage: bootstrap_test.sh [bootstrap.sh to try]   (default: this tree's)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bootstrap=${1:-$here/../../scripts/bootstrap.sh}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One stand-in for every command; its state lives in $STUB. "missing" lists what is not installed
# ("*": nothing is), "broken" what apt cannot install, "update_failures" how many updates fail.
mkdir -p "$work/bin"
cat >"$work/bin/stub" <<'STUB'
#!/usr/bin/env bash
echo "${0##*/} $*" >>"$STUB/calls"
has() { grep -qxF -- "$2" "$STUB/$1" 2>/dev/null; }
case ${0##*/} in
  sudo) exec "$@" ;;
  sleep) ;;
  dpkg-query)
    format=${2#-f=}
    for p in "${@:3}"; do
      if has installed "$p" || { ! has missing '*' && ! has missing "$p"; }; then
        [[ $p == *:* ]] || p+=:amd64
        line=${format//'${Status}'/install ok installed}
        line=${line//'${db:Status-Status}'/installed}
        line=${line//'${Package}:${Architecture}'/$p}
        printf "${line//%/%%}"
      else
        echo "dpkg-query: no packages found matching $p" >&2
      fi
    done ;;
  dpkg)
    case $1 in
      --print-architecture) echo amd64 ;;
      --print-foreign-architectures) cat "$STUB/architectures" 2>/dev/null ;;
      --add-architecture) echo "$2" >>"$STUB/architectures" ;;
      --remove-architecture) sed -i "/^$2\$/d" "$STUB/architectures" ;;
    esac ;;
  apt-get)
    packages=() simulate=0
    for a in "$@"; do
      case $a in -s) simulate=1 ;; -*|install|update) ;; *) packages+=("$a") ;; esac
    done
    if [[ " $* " == *" update "* ]]; then
      left=$(cat "$STUB/update_failures")
      [ "$left" -eq 0 ] && exit 0
      echo $((left - 1)) >"$STUB/update_failures"
      echo "E: Failed to fetch http://deb.debian.org/.../Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?" >&2
      exit 100
    fi
    for p in "${packages[@]}"; do
      if has broken "$p"; then
        echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100
      fi
    done
    for p in "${packages[@]}"; do
      if [ $simulate -eq 1 ]; then echo "Inst $p"; else echo "$p" >>"$STUB/installed"; fi
    done ;;
esac
STUB
chmod +x "$work/bin/stub"
for c in apt-get dpkg dpkg-query sudo sleep; do ln -s stub "$work/bin/$c"; done

# Columns: scenario | kernel runs i386 | missing | broken | update failures | exit code |
#          updates run | installed after (all of) | not installed after (none of) | output (ERE) |
#          dpkg's foreign architectures after
scenarios=(
  "all installed|yes|||0|0|0|||^$|"
  "only wine32 missing and not installable: no network|yes|wine32:i386|wine32:i386|0|0|0|||under emulation|"
  "update fails once, then succeeds|yes|*||1|0|2|cmake wine32:i386 g++-mingw-w64-i686||retrying|i386"
  "index keeps failing, packages installable|no|*||9|0|3|cmake g++-mingw-w64-i686 wixl osslsigncode openssl debootstrap|wine32:i386|going on|"
  "wine32 not installable|yes|*|wine32:i386|0|0|1|g++-mingw-w64-i686 wine64|wine32:i386|wine32:i386 .*32-bit Wine tests will run under emulation|"
  "cross compiler not installable|yes|*|g++-mingw-w64-i686|0|1|1||cmake g++-mingw-w64-i686|cannot build without g[+][+]-mingw-w64-i686|"
)

failures=0
fail() { echo "FAIL: $name: $*"; failures=$((failures + 1)); }
for row in "${scenarios[@]}"; do
  IFS='|' read -r name runs32 missing broken update_failures rc updates present absent output architectures <<<"$row"
  export STUB="$work/state"
  rm -rf "$STUB" "$work/scripts" && mkdir -p "$STUB" "$work/scripts"
  tr ' ' '\n' <<<"$missing" >"$STUB/missing"
  tr ' ' '\n' <<<"$broken" >"$STUB/broken"
  echo "$update_failures" >"$STUB/update_failures"
  : >"$STUB/calls"
  before=$failures
  cp "$bootstrap" "$work/scripts/bootstrap.sh"
  printf '#!/bin/sh\nexit %d\n' "$([ "$runs32" == yes ] && echo 0 || echo 1)" >"$work/scripts/runs-32-bit.sh"
  chmod +x "$work/scripts/"*.sh

  out=$(PATH="$work/bin:$PATH" bash "$work/scripts/bootstrap.sh" 2>&1)
  got=$?
  [ "$got" -eq "$rc" ] || fail "exit code $got, expected $rc"
  grep -Eq -- "$output" <<<"$out" || [[ -z $out && $output == '^$' ]] || fail "output lacks /$output/"
  n=$(grep -c '^apt-get update' "$STUB/calls")
  [ "$n" -eq "$updates" ] || fail "$n updates, expected $updates"
  for p in $present; do grep -qxF -- "$p" "$STUB/installed" 2>/dev/null || fail "$p not installed"; done
  for p in $absent; do ! grep -qxF -- "$p" "$STUB/installed" 2>/dev/null || fail "$p installed"; done
  got=$(tr '\n' ' ' 2>/dev/null <"$STUB/architectures" | sed 's/ $//')
  [ "$got" == "$architectures" ] || fail "foreign architectures after: '$got', expected '$architectures'"
  if [ "$runs32" == no ] && grep -q 'add-architecture\|:i386' "$STUB/calls"; then
    fail "asked for i386 packages on a kernel that runs no i386 programs"
  fi
  [ "$failures" -eq "$before" ] || { echo "--- output of $name:"; echo "$out"; }
done
echo "${#scenarios[@]} scenarios, $failures failures"
[ "$failures" -eq 0 ]
