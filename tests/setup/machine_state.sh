#!/usr/bin/env bash
# What the project's scripts may change on the machine, before and after a run:
#   machine_state.sh snapshot FILE        writes the state, one "KIND<TAB>THING" line each
#   machine_state.sh compare BEFORE AFTER prints what AFTER has and BEFORE had not, of ours;
#                                         exits 1 when there is any
# Only what is new counts: what earlier runs (or older versions of the scripts) left and has gone
# since is no failure. The kinds:
#   binfmt    binfmt_misc entries named pellmora* or whose interpreter is in the cache or the project
#   mount     mounts below the cache or the project, and binfmt_misc's own mount
#   cgroup    control groups named pellmora*, in every cgroup hierarchy
#   dpkg      dpkg's foreign architectures
#   process   processes whose root is inside the cache, whose program is in the cache or the
#             project, or whose Wine prefix (WINEPREFIX) is there; not the checker's own ancestors
#   file      entries of /tmp, /var/tmp, /dev/shm, ~/.cache and Wine's server folders
#             (/tmp/.wine-UID), and ~/.wine; everything left in the run's own temporary folder
#             (PELLMORA_STATE_TMPDIR, when set)
# PELLMORA_CACHE names the cache (default /var/cache/pellmora), PELLMORA_STATE_PROJECT the project
# (default this tree). On a machine shared with other work, PELLMORA_STATE_IGNORE (an extended
# regular expression) leaves out lines that are known to be someone else's. Entries of the
# temporary folders that vanish within a few seconds (another program's scratch files) are not
# reported.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
project=$(realpath -m "${PELLMORA_STATE_PROJECT:-$here/../..}")
cache=$(realpath -m "${PELLMORA_CACHE:-/var/cache/pellmora}")
binfmt=/proc/sys/fs/binfmt_misc

# ours PATH: whether PATH is the cache, the project or below one of them.
ours() {
  case "$1/" in "$cache"/* | "$project"/*) return 0 ;; esac
  return 1
}

binfmt_entries() {
  local entry name interpreter
  for entry in "$binfmt"/*; do
    [ -f "$entry" ] || continue
    name=${entry##*/}
    case $name in register | status) continue ;; esac
    interpreter=$(sed -n 's/^interpreter //p' "$entry" 2>/dev/null)
    if [[ $name == pellmora* ]] || ours "$interpreter"; then
      printf 'binfmt\t%s %s %s\n' "$name" "$(head -n 1 "$entry" 2>/dev/null)" "$interpreter"
    fi
  done
}

mounts() {
  awk -v cache="$cache/" -v project="$project/" '{
    for (i = 7; $i != "-"; i++) {}
    point = $5
    gsub(/\\040/, " ", point)   # mountinfo writes a space as \040
    if (index(point "/", cache) == 1 || index(point "/", project) == 1 || $(i + 1) == "binfmt_misc")
      print "mount\t" point " " $(i + 1)
  }' /proc/self/mountinfo
}

cgroups() {
  local point
  awk '{ for (i = 7; $i != "-"; i++) {} if ($(i + 1) ~ /^cgroup2?$/) print $5 }' /proc/self/mountinfo |
    while read -r point; do
      find "$point" -type d -name 'pellmora*' -printf 'cgroup\t%p\n' 2>/dev/null
    done
}

architectures() {
  command -v dpkg >/dev/null || return 0
  dpkg --print-foreign-architectures 2>/dev/null | sed 's/^/dpkg\t/'
}

# (In Python: a shell would start several programs for each of the machine's processes.)
processes() {
  python3 - "$cache" "$project" <<'PY'
import os, sys
cache, project = sys.argv[1], sys.argv[2]
def ours(path):
    return any(path == top or path.startswith(top + "/") for top in (cache, project))
def stat_fields(pid):
    text = open(f"/proc/{pid}/stat").read()
    return text[text.rindex(")") + 2:].split()
# Not the checker itself and its ancestors: the test command runs in the project.
mine, pid = set(), os.getpid()
while pid > 1:
    mine.add(pid)
    try:
        pid = int(stat_fields(pid)[1])
    except OSError:
        break
for name in os.listdir("/proc"):
    if not name.isdigit() or int(name) in mine:
        continue
    try:
        root = os.readlink(f"/proc/{name}/root")
        exe = os.readlink(f"/proc/{name}/exe") if os.path.exists(f"/proc/{name}/exe") else ""
        prefix = ""
        for entry in open(f"/proc/{name}/environ", "rb").read().split(b"\0"):
            if entry.startswith(b"WINEPREFIX="):
                prefix = os.path.realpath(entry[11:].decode(errors="replace"))
        start = stat_fields(name)[19]
    except OSError:
        continue
    if (root != "/" and ours(root)) or (exe and ours(exe)) or (prefix and ours(prefix)):
        print(f"process\t{name} {start} {exe or '?'}")
PY
}

files() {
  local folder
  local home=${HOME:-/nonexistent}
  for folder in /tmp /var/tmp /dev/shm "$home/.cache" /tmp/.wine-"$(id -u)"; do
    [ -d "$folder" ] && find "$folder" -mindepth 1 -maxdepth 1 -printf 'file\t%p\n' 2>/dev/null
  done
  [ ! -e "$home/.wine" ] || printf 'file\t%s\n' "$home/.wine"
  if [ -n "${PELLMORA_STATE_TMPDIR:-}" ] && [ -d "$PELLMORA_STATE_TMPDIR" ]; then
    find "$PELLMORA_STATE_TMPDIR" -mindepth 1 -maxdepth 2 -printf 'file\t%p\n' 2>/dev/null
  fi
}

snapshot() {
  { binfmt_entries; mounts; cgroups; architectures; processes; files; } | LC_ALL=C sort -u
}

# new BEFORE AFTER: the lines of AFTER not in BEFORE, without the ignored ones.
new() {
  LC_ALL=C comm -13 <(LC_ALL=C sort -u "$1") <(LC_ALL=C sort -u "$2") |
    { if [ -n "${PELLMORA_STATE_IGNORE:-}" ]; then grep -Ev -- "$PELLMORA_STATE_IGNORE"; else cat; fi; }
}

case "${1:-}" in
  snapshot)
    snapshot >"$2"
    ;;
  compare)
    before=$2 after=$3
    left=$(new "$before" "$after")
    # Another program's scratch file in /tmp comes and goes; ours stays. Look again a few times.
    for tries in 1 2 3; do
      grep -q '^file' <<<"$left" || break
      sleep 2
      files | LC_ALL=C sort -u >"$after.files"
      left=$(grep -v '^file' <<<"$left"; grep '^file' <<<"$left" | grep -Fx -f "$after.files")
      rm -f "$after.files"
    done
    if [ -n "$left" ]; then
      echo "FAIL: the run left this behind (not there before it):"
      sed 's/^/  /; s/\t/: /' <<<"$left"
      exit 1
    fi
    echo "machine state: nothing of ours left behind"
    ;;
  *)
    echo "usage: $0 snapshot FILE | compare BEFORE AFTER" >&2
    exit 2
    ;;
esac
