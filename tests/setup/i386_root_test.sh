#!/usr/bin/env bash
# scripts/i386-root.sh shared by runs at once, and killed halfway (needs root privileges):
#   - in the cache's real root (PELLMORA_CACHE; left out when it has none): two runs whose lives
#     overlap both run i386 programs to the end, the one that ends first leaving the binfmt_misc
#     entry to the other; a run killed with SIGKILL leaves a registration and a control group that
#     the next run removes; afterwards everything is as before;
#   - in a throwaway cache whose root a stand-in for debootstrap makes from the host's own
#     programs (seconds, no network): two `ensure`s at once build it once; a rebuild waits for a
#     command running in the root; a killed debootstrap leaves no mount behind.
# Usage: i386_root_test.sh [i386-root.sh to try]   (default: this tree's)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
script=$(realpath "${1:-$here/../../scripts/i386-root.sh}")
[ "$(id -u)" -eq 0 ] || { echo "needs root privileges"; exit 1; }
work=$(mktemp -d)
background=()
cleanup() {
  local pid
  for pid in "${background[@]}"; do kill -9 "$pid" 2>/dev/null; done
  [ -z "${inside:-}" ] || rm -rf "$inside"
  PELLMORA_CACHE=$work/cache "$script" remove >/dev/null 2>&1 </dev/null
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT

failures=0 checks=0
check() {
  local name=$1; shift
  checks=$((checks + 1))
  if ! "$@"; then echo "FAIL: $name"; failures=$((failures + 1)); fi
}
cache_state() {   # the binfmt entries, the live users' lines and the run groups: all that should return
  ls /proc/sys/fs/binfmt_misc 2>/dev/null | grep '^pellmora-i386-' || true
  find /sys/fs/cgroup -type d -name 'pellmora-i386-run-*' 2>/dev/null || true
}

# --- The real root: overlapping runs and a killed one.
export PELLMORA_CACHE=${PELLMORA_CACHE:-/var/cache/pellmora}
if [ ! -f "$PELLMORA_CACHE/i386-root/.pellmora-complete" ]; then
  echo "no root in $PELLMORA_CACHE: its part is left out"
else
  # Under qemu where qemu is at hand (the entry and its users are what is tried here).
  [ ! -x "$PELLMORA_CACHE/qemu/qemu-i386" ] || export PELLMORA_KERNEL_RUNS_I386=no
  before=$(cache_state)
  i386=/usr/lib/wine/wine   # an i386 program of the root
  # Signals between the runs and this script go through a folder in the root's own /tmp.
  inside=$(mktemp -d "$PELLMORA_CACHE/i386-root/tmp/setup-test.XXXXXX")
  signals=/tmp/${inside##*/}
  # A runs an i386 program, waits until B has come and gone, and runs one again.
  "$script" run /bin/sh -c "$i386 --version && while [ ! -e $signals/b-done ]; do sleep 0.2; done && $i386 --version" \
    >"$work/a.out" 2>&1 &
  a=$!; background+=("$a")
  for _ in $(seq 100); do [ -s "$work/a.out" ] && break; sleep 0.2; done
  "$script" run "$i386" --version >"$work/b.out" 2>&1
  b_status=$?
  touch "$inside/b-done"
  wait "$a"
  a_status=$?
  check "the run that ended first ran its i386 program" [ "$b_status" -eq 0 ]
  check "the run still going when the other ended ran its i386 program again" \
    [ "$a_status" -eq 0 -a "$(grep -c '^wine-' "$work/a.out")" -eq 2 ]
  check "after both, no binfmt entry or control group of theirs is left" [ "$(cache_state)" == "$before" ]

  # A run killed outright: its entry and group stay until the next run.
  setsid "$script" run /bin/sh -c "echo \$\$ >$signals/started; exec sleep 60" >/dev/null 2>&1 &
  killed=$!; background+=("$killed")
  for _ in $(seq 100); do [ -s "$inside/started" ] && break; sleep 0.2; done
  background+=("$(cat "$inside/started")")
  kill -9 "$killed"
  wait "$killed" 2>/dev/null
  # (Its users' line, or its control group where tasks can be capped.)
  check "a killed run leaves something behind (so that the next run has work to do)" \
    bash -c "[ '$(cache_state)' != '$before' ] || grep -q '^$killed ' '$PELLMORA_CACHE/binfmt-users'"
  "$script" run /bin/true
  check "the next run removes what the killed run left" [ "$(cache_state)" == "$before" ]
  check "and keeps no line of the killed run" bash -c "! grep -q '^$killed ' '$PELLMORA_CACHE/binfmt-users'"
  kill -9 "$(cat "$inside/started")"   # (the killed run's command, still in the root)
  unset PELLMORA_KERNEL_RUNS_I386
fi

# --- A throwaway root made by a stand-in for debootstrap out of the host's own programs.
export PELLMORA_CACHE=$work/cache PELLMORA_KERNEL_RUNS_I386=yes
mkdir -p "$work/bin"
wine_version=$(dpkg-query -W -f '${Version}' libwine:amd64)
cat >"$work/bin/debootstrap" <<EOF
#!/usr/bin/env bash
# Stands in for debootstrap: counts its calls, mounts /proc in the new root as the real one does,
# waits while \$STANDIN_HOLD exists, and copies a few host programs with their libraries.
target=\${@: -2:1}
echo \$\$ >>"$work/debootstrap-calls"
mkdir -p "\$target/proc" "\$target/usr/lib/wine" "\$target/usr/bin" "\$target/bin" "\$target/dev" "\$target/tmp"
mount -t proc proc "\$target/proc"
while [ -e "$work/hold" ]; do sleep 0.2; done
for program in /usr/bin/env /bin/sh /bin/cat /bin/sleep /bin/true; do
  cp "\$program" "\$target\$program"
  for lib in \$(ldd "\$program" | awk '\$3 ~ /^\// { print \$3 } \$1 ~ /^\// { print \$1 }'); do
    mkdir -p "\$target\$(dirname "\$lib")"; cp -L "\$lib" "\$target\$lib"
  done
done
printf '#!/bin/sh\necho wine-standin\n' >"\$target/usr/lib/wine/wine"
printf '#!/bin/sh\nprintf %s "$wine_version"\n' >"\$target/usr/bin/dpkg-query"
chmod +x "\$target/usr/lib/wine/wine" "\$target/usr/bin/dpkg-query"
umount "\$target/proc"
EOF
chmod +x "$work/bin/debootstrap"
export PATH=$work/bin:$PATH

mounts_below() { awk -v d="$1/" 'index($5 "/", d) == 1' /proc/self/mountinfo; }

# A debootstrap killed with its whole tree (as CTest's timeout does) leaves no mount on the host.
touch "$work/hold"
setsid "$script" ensure >/dev/null 2>&1 &
ensure=$!; background+=("$ensure")
for _ in $(seq 100); do [ -s "$work/debootstrap-calls" ] && break; sleep 0.2; done
sleep 0.5
kill -9 -- -"$ensure"
wait "$ensure" 2>/dev/null
check "a killed debootstrap leaves no mount below the cache" [ -z "$(mounts_below "$work/cache")" ]
rm -f "$work/hold" "$work/debootstrap-calls"

# Two ensures at once: one builds, the other waits and finds the root working.
"$script" ensure >"$work/e1.out" 2>&1 &
e1=$!; background+=("$e1")
"$script" ensure >"$work/e2.out" 2>&1
e2_status=$?
wait "$e1"
check "two ensures at once both succeed" [ $? -eq 0 -a "$e2_status" -eq 0 ]
check "and the root is built once" [ "$(wc -l <"$work/debootstrap-calls")" -eq 1 ]

# A rebuild (the root's mark removed) while a command runs inside it: the rebuild waits, and the
# command sees its root to the end. The command goes on when the rebuild is over, or after 20 s.
"$script" run /bin/sh -c "while [ ! -e /tmp/go ]; do sleep 0.2; done; cat /usr/lib/wine/wine" >"$work/run.out" 2>&1 &
running=$!; background+=("$running")
sleep 1
rm "$work/cache/i386-root/.pellmora-complete"
"$script" ensure >/dev/null 2>&1 &
rebuild=$!; background+=("$rebuild")
for _ in $(seq 100); do kill -0 "$rebuild" 2>/dev/null || break; sleep 0.2; done
touch "$work/cache/i386-root/tmp/go"
wait "$rebuild"
ensure_status=$?
wait "$running"
running_status=$?
check "a command running in the root is not cut short by a rebuild" [ "$running_status" -eq 0 ]
check "and sees the root it started in" grep -q wine-standin "$work/run.out"
check "the rebuild itself succeeds" [ "$ensure_status" -eq 0 -a -f "$work/cache/i386-root/.pellmora-complete" ]
check "no mount is left below the throwaway cache" [ -z "$(mounts_below "$work/cache")" ]

echo "$checks checks, $failures failures"
[ "$failures" -eq 0 ]
