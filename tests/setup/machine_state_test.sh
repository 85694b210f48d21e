#!/usr/bin/env bash
# The machine-state check (machine_state.sh) against planted leftovers, one row per kind: each
# one planted between the two snapshots fails the comparison and is named; one that was there
# before and has gone since does not. The project and the cache are throwaway folders, so the
# check looks at them and not at this tree. Needs root privileges (binfmt_misc, mounts, cgroups).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
check=$here/machine_state.sh
[ "$(id -u)" -eq 0 ] || { echo "needs root privileges"; exit 1; }
work=$(mktemp -d)
export PELLMORA_STATE_PROJECT=$work/project PELLMORA_CACHE=$work/cache PELLMORA_STATE_TMPDIR=$work/project/tmp
mkdir -p "$PELLMORA_STATE_PROJECT/tmp" "$PELLMORA_CACHE" "$work/bin"
name=pellmora-state-test-$$
pids=()

# dpkg's foreign architectures come from a stand-in, so no row changes the real ones.
printf '#!/bin/sh\n[ "$1" != --print-foreign-architectures ] || cat %s/architectures 2>/dev/null\n' "$work" >"$work/bin/dpkg"
chmod +x "$work/bin/dpkg"
export PATH=$work/bin:$PATH

cgroup_parent=$(awk '{ for (i = 7; $i != "-"; i++) {} if ($(i + 1) ~ /^cgroup2?$/) print $5 }' /proc/self/mountinfo |
  while read -r point; do [ -w "$point" ] && echo "$point" && break; done)

# plant KIND / unplant KIND: makes one leftover of KIND / removes it.
plant() {
  case $1 in
    binfmt) echo ":$name:M::PELLMORA\\x00STATE::/bin/false:" >/proc/sys/fs/binfmt_misc/register ;;
    mount) mkdir -p "$work/project/mnt" && mount -t tmpfs "$name" "$work/project/mnt" ;;
    cgroup) mkdir "$cgroup_parent/$name" ;;
    dpkg) echo i386 >"$work/architectures" ;;
    program) cp "$(command -v sleep)" "$work/project/sleep" && { "$work/project/sleep" 600 & pids+=($!); } ;;
    prefix) WINEPREFIX=$work/project/prefix sleep 600 & pids+=($!) ;;
    tmp) touch "/tmp/$name" ;;
    tmpdir) touch "$PELLMORA_STATE_TMPDIR/$name" ;;
  esac
}
unplant() {
  case $1 in
    binfmt) [ ! -f "/proc/sys/fs/binfmt_misc/$name" ] || echo -1 >"/proc/sys/fs/binfmt_misc/$name" ;;
    mount) umount "$work/project/mnt" 2>/dev/null ;;
    cgroup) rmdir "$cgroup_parent/$name" 2>/dev/null ;;
    dpkg) rm -f "$work/architectures" ;;
    program | prefix) local pid; for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done; pids=() ;;
    tmp) rm -f "/tmp/$name" ;;
    tmpdir) rm -f "$PELLMORA_STATE_TMPDIR/$name" ;;
  esac
  return 0
}
cleanup() {
  local kind
  for kind in binfmt mount cgroup dpkg program tmp tmpdir; do unplant "$kind"; done
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT

# Columns: kind | what the failure names (ERE)
rows=(
  "binfmt|binfmt: $name"
  "mount|mount: $work/project/mnt tmpfs"
  "cgroup|cgroup: $cgroup_parent/$name"
  "dpkg|dpkg: i386"
  "program|process: [0-9]+ [0-9]+ $work/project/sleep"
  "prefix|process: [0-9]+ [0-9]+ $(realpath "$(command -v sleep)")"
  "tmp|file: /tmp/$name"
  "tmpdir|file: $PELLMORA_STATE_TMPDIR/$name"
)
# Everything is planted between the same two snapshots (each takes seconds on a busy machine).
failures=0
"$check" snapshot "$work/before"
kinds=()
for row in "${rows[@]}"; do
  IFS='|' read -r kind expected <<<"$row"
  if [ "$kind" = cgroup ] && [ -z "$cgroup_parent" ]; then echo "no writable cgroup hierarchy: $kind left out"; continue; fi
  if plant "$kind"; then kinds+=("$kind"); else echo "FAIL: $kind: cannot plant it"; failures=$((failures + 1)); fi
done
"$check" snapshot "$work/after"
reported=$("$check" compare "$work/before" "$work/after")
[ $? -ne 0 ] || { echo "FAIL: the comparison passes with leftovers planted"; failures=$((failures + 1)); }
# The same things gone by the end (an older run's leftovers removed meanwhile) are no failure.
for kind in "${kinds[@]}"; do unplant "$kind"; done
"$check" snapshot "$work/later"
gone=$("$check" compare "$work/after" "$work/later")
for row in "${rows[@]}"; do
  IFS='|' read -r kind expected <<<"$row"
  [[ " ${kinds[*]} " == *" $kind "* ]] || continue
  grep -Eq -- "$expected" <<<"$reported" || { echo "FAIL: $kind: a planted leftover is not reported"; failures=$((failures + 1)); }
  # (Other programs' files may come and go meanwhile on a shared machine: only ours count here.)
  ! grep -Eq -- "$expected" <<<"$gone" || { echo "FAIL: $kind: a leftover that disappeared is reported"; failures=$((failures + 1)); }
done
[ "$failures" -eq 0 ] || { echo "--- reported:"; echo "$reported"; }
echo "${#rows[@]} kinds, $failures failures"
[ "$failures" -eq 0 ]
