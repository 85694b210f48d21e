#!/usr/bin/env bash
# An i386 Debian root in which the 32-bit Wine runs on machines that have no 32-bit Wine of their
# own (no wine32 package, or a kernel that refuses i386 programs).
#   i386-root.sh ensure      make the root if it is missing or broken
#   i386-root.sh run CMD..   run CMD inside the root, in the same working directory
#   i386-root.sh hold PID    keep i386 programs running (see below) while process PID lives, or
#   i386-root.sh release PID   until this is called: a test run holds it from start to end
#   i386-root.sh teardown    stop every process inside the root and unmount what is mounted there
#   i386-root.sh remove      teardown, then delete the root and qemu-i386
#   i386-root.sh dir         print the root's path
#
# The root is kept between runs in a cache folder outside any build tree, by default
# /var/cache/pellmora (PELLMORA_CACHE overrides it). It is built in a temporary folder, marked
# complete and only then renamed into place, so an interrupted build is simply made again.
# Contents: `debootstrap --variant=minbase --include=wine,wine32,libwine bookworm` for i386 from the
# main archive, plus the host's 64-bit wineserver (with its loader and libc), which Wine's
# wineserver script prefers: only the 32-bit programs are emulated, the server runs natively.
#
# Where the kernel cannot run i386 programs, a static qemu-i386 kept in the cache runs them through
# a binfmt_misc entry named after the cache (pellmora-i386-<hash of its path>). The entry is a
# machine-wide change, so it exists only while a run of ours needs it: every ensure, run and hold
# adds a line (process id and start time) to $cache/binfmt-users under a lock, and the last one to
# leave removes the entry (and unmounts binfmt_misc if it mounted it). Lines of processes that are
# gone (a killed run) are dropped by the next start, which removes their entry once unused. The
# entry `pellmora-i386` of older versions of this script is left alone: older checkouts may rely on it.
#
# Each `run` enters a private mount namespace, binds /dev, /proc and the project folder (at the
# same path, so build paths mean the same inside and out) and chroots: the mounts vanish with the
# namespace and never outlive the processes that use them. Where the caller's own control group
# can cap the number of tasks (cgroup v1 "pids", or v2 with pids enabled for its children), the
# command runs in a child group of it with that cap; processes still running when the command
# ends (a persistent wineserver) go back to the caller's group and the child group is removed.
# A run holds the root shared while its command runs; a rebuild waits for it (exclusive).
#
# Needs root privileges (chroot, mounts, binfmt_misc) and, on the first run, the network.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
project=$(cd "$here/.." && pwd)
cache=$(realpath -m "${PELLMORA_CACHE:-/var/cache/pellmora}")
root=$cache/i386-root
qemu=$cache/qemu/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
# Named after the cache, so runs with different caches never share (or remove) each other's entry.
binfmt_name=pellmora-i386-$(printf '%s' "$cache" | sha256sum | cut -c1-12)
binfmt_users=$cache/binfmt-users
binfmt_mounted=$cache/binfmt-mounted
suite=bookworm
mirror=${PELLMORA_DEBIAN_MIRROR:-http://deb.debian.org/debian}
# The cap on the tasks (processes and threads) of the emulated tree: a test run needs a few
# dozen; a runaway (a program restarting itself) stops here instead of filling the machine.
max_tasks=${PELLMORA_I386_MAX_TASKS:-1024}

say() { echo "i386-root: $*" >&2; }
# The binfmt_misc entry a `run` adds lives as long as its command, like the run's mounts: said
# only by ensure, hold, release and teardown, so a command's output stays its own.
note() { [ "${quiet:-0}" -eq 1 ] || say "$*"; }
die() { say "$*"; exit 1; }

[ "$(id -u)" -eq 0 ] || die "needs root privileges (chroot, mounts, binfmt_misc)"

# i386 ELF executables, as qemu's own binfmt table describes them.
binfmt_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
binfmt_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# The kernel runs i386 programs without help (binfmt entries are left out of the question by the
# script itself). Asked once per tree of processes: the answer is exported.
kernel_runs_i386() {
  if [ -z "${PELLMORA_KERNEL_RUNS_I386:-}" ]; then
    if "$here/runs-32-bit.sh"; then PELLMORA_KERNEL_RUNS_I386=yes; else PELLMORA_KERNEL_RUNS_I386=no; fi
    export PELLMORA_KERNEL_RUNS_I386
  fi
  [ "$PELLMORA_KERNEL_RUNS_I386" = yes ]
}

binfmt_registered() {
  [ -f "$binfmt/$binfmt_name" ] && grep -qx enabled "$binfmt/$binfmt_name" &&
    grep -qx "interpreter $qemu" "$binfmt/$binfmt_name"
}

# start_time PID: the process's start time (clock ticks after boot); empty when it is gone. With
# the process id it names one process, even after the id is reused.
start_time() {
  local stat fields
  read -r stat 2>/dev/null <"/proc/$1/stat" || return 0
  # Field 22 of the line; the text after the command's name starts at field 3.
  read -r -a fields <<<"${stat##*) }"
  echo "${fields[19]}"
}

# Keeps only the lines of binfmt-users whose process still runs.
drop_dead_users() {
  local pid start kept=
  [ -f "$binfmt_users" ] || return 0
  while read -r pid start; do
    [ -n "$pid" ] && [ "$(start_time "$pid")" = "$start" ] && kept+="$pid $start"$'\n'
  done <"$binfmt_users"
  printf '%s' "$kept" >"$binfmt_users.new"
  mv -f "$binfmt_users.new" "$binfmt_users"
}

# Fetches qemu-user from bookworm-backports through a private APT configuration whose only source
# is that suite (the host's sources, lists and package state are left alone) and keeps its
# statically linked qemu-i386.
fetch_qemu() {
  local tmp
  tmp=$(mktemp -d)
  mkdir -p "$tmp/parts" "$tmp/sources.d" "$tmp/prefs.d" "$tmp/lists/partial" \
           "$tmp/archives/partial" "$tmp/deb" "$tmp/x"
  : >"$tmp/status"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite-backports main" \
    >"$tmp/sources.list"
  cat >"$tmp/apt.conf" <<EOF
Dir::Etc::SourceList "$tmp/sources.list";
Dir::Etc::SourceParts "$tmp/sources.d";
Dir::Etc::Parts "$tmp/parts";
Dir::Etc::Preferences "$tmp/prefs";
Dir::Etc::PreferencesParts "$tmp/prefs.d";
Dir::State::Lists "$tmp/lists";
Dir::State::status "$tmp/status";
Dir::Cache "$tmp/cache";
Dir::Cache::Archives "$tmp/archives";
APT::Architecture "amd64";
APT::Architectures { "amd64"; };
APT::Sandbox::User "root";
EOF
  say "fetching qemu-user from $suite-backports"
  local tries
  for tries in 1 2 3; do
    APT_CONFIG=$tmp/apt.conf apt-get -q update >"$tmp/update.log" 2>&1 && break
    [ "$tries" -lt 3 ] || { cat "$tmp/update.log" >&2; die "cannot read $suite-backports"; }
    sleep 5
  done
  (cd "$tmp/deb" && APT_CONFIG=$tmp/apt.conf apt-get -q download qemu-user) >&2 ||
    die "cannot download qemu-user from $suite-backports"
  dpkg-deb -x "$tmp"/deb/qemu-user_*.deb "$tmp/x"
  local binary=$tmp/x/usr/bin/qemu-i386
  [ -x "$binary" ] || die "the qemu-user package holds no usr/bin/qemu-i386"
  # binfmt_misc starts the interpreter inside the root too (flag F): it must need no libraries.
  if LC_ALL=C readelf -l "$binary" 2>/dev/null | grep -q 'Requesting program interpreter'; then
    die "qemu-i386 from $suite-backports is not statically linked"
  fi
  mkdir -p "$(dirname "$qemu")"
  cp "$binary" "$qemu.new"
  mv -f "$qemu.new" "$qemu"
  rm -rf "$tmp"
  say "$("$qemu" --version | head -n 1)"
}

# Registers qemu-i386 for i386 ELF programs, mounting binfmt_misc first when it is not (and
# noting that, so the last user unmounts it). Flag F opens the interpreter now, so it is found
# from inside the root as well. Called with the users' lock held.
register_qemu() {
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" || die "cannot mount $binfmt"
    : >"$binfmt_mounted"
    note "mounted binfmt_misc on $binfmt"
  fi
  # Our own entry, disabled or naming another interpreter: nobody can be using it as it is.
  if [ -f "$binfmt/$binfmt_name" ]; then echo -1 >"$binfmt/$binfmt_name"; fi
  echo ":$binfmt_name:M::$binfmt_magic:$binfmt_mask:$qemu:F" >"$binfmt/register" ||
    die "cannot register $qemu with binfmt_misc"
  note "registered binfmt_misc entry $binfmt_name: i386 programs run under $qemu"
}

# Removes the entry, and binfmt_misc's mount when this script made it and nothing else is
# registered there. Called with the users' lock held, when nobody uses the entry.
unregister_qemu() {
  if [ -f "$binfmt/$binfmt_name" ]; then
    echo -1 >"$binfmt/$binfmt_name"
    note "removed binfmt_misc entry $binfmt_name"
  fi
  if [ -f "$binfmt_mounted" ]; then
    if [ -z "$(find "$binfmt" -mindepth 1 -maxdepth 1 ! -name register ! -name status -print -quit)" ]; then
      umount "$binfmt" && note "unmounted binfmt_misc from $binfmt"
    fi
    rm -f "$binfmt_mounted"
  fi
}

# users_lock: takes the lock on binfmt-users (fd 7) for the rest of the calling function's work.
users_lock() {
  mkdir -p "$cache"
  exec 7>"$cache/binfmt.lock"
  flock 7
}

# acquire PID: i386 programs run until `release PID` or until PID is gone. Where the kernel runs
# them itself, nothing is needed.
acquire() {
  users_lock
  drop_dead_users
  if [ ! -s "$binfmt_users" ] || ! binfmt_registered; then
    # Nobody uses the entry: one still registered is a killed run's.
    [ -s "$binfmt_users" ] || unregister_qemu
    if kernel_runs_i386; then exec 7>&-; return 0; fi
    [ -x "$qemu" ] && "$qemu" --version >/dev/null 2>&1 || fetch_qemu
    register_qemu
  fi
  echo "$1 $(start_time "$1")" >>"$binfmt_users"
  exec 7>&-
}

# release PID: drops PID's line; the last user removes the entry.
release() {
  [ -f "$binfmt_users" ] || return 0
  users_lock
  awk -v pid="$1" '$1 != pid' "$binfmt_users" >"$binfmt_users.new"
  mv -f "$binfmt_users.new" "$binfmt_users"
  drop_dead_users
  [ -s "$binfmt_users" ] || unregister_qemu
  exec 7>&-
}

# The processes whose root directory is the i386 root (or a half-built one), by process id.
processes_inside() {
  local dir=$1 link pid
  for link in /proc/[0-9]*/root; do
    pid=${link#/proc/}; pid=${pid%/root}
    [ "$(readlink "$link" 2>/dev/null)" = "$dir" ] && echo "$pid"
  done
  return 0
}

stop_processes_inside() {
  local dir=$1 pids
  pids=$(processes_inside "$dir")
  [ -n "$pids" ] || return 0
  # shellcheck disable=SC2086
  kill $pids 2>/dev/null || true
  sleep 1
  pids=$(processes_inside "$dir")
  # shellcheck disable=SC2086
  [ -z "$pids" ] || kill -9 $pids 2>/dev/null || true
}

# Unmounts everything below DIR in this namespace, deepest first. Deleting a root while /dev is
# still bound inside it would delete the host's device nodes.
unmount_below() {
  local dir=$1 mountpoint
  while read -r mountpoint; do
    umount -R "$mountpoint" 2>/dev/null || umount -l "$mountpoint"
  done < <(awk -v d="$dir/" 'index($2 "/", d) == 1 { print $2 }' /proc/self/mounts | sort -r)
  if awk -v d="$dir/" 'index($2 "/", d) == 1 { found = 1 } END { exit !found }' /proc/self/mounts; then
    die "cannot unmount everything below $dir"
  fi
}

remove_dir() {
  local dir=$1
  [ -e "$dir" ] || return 0
  stop_processes_inside "$dir"
  unmount_below "$dir"
  rm -rf --one-file-system "$dir"
}

# The root works when its 32-bit loader starts and the native wineserver is in place.
root_works() {
  [ -f "$root/.pellmora-complete" ] || return 1
  [ -x "$root/usr/lib/wine/wineserver64" ] || return 1
  enter /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Copies the host's 64-bit wineserver into the root with the two libraries it needs.
install_wineserver() {
  local dir=$1 server=/usr/lib/wine/wineserver64 lib
  [ -x "$server" ] || die "no $server on this machine (Debian package libwine:amd64)"
  mkdir -p "$dir/lib64" "$dir/lib/x86_64-linux-gnu"
  cp "$server" "$dir/usr/lib/wine/wineserver64"
  for lib in $(ldd "$server" | awk '$3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }'); do
    mkdir -p "$dir$(dirname "$lib")"
    cp -L "$lib" "$dir$lib"
  done
  # The server speaks the protocol of the 32-bit Wine it serves: the versions must match.
  local host_version root_version
  host_version=$(dpkg-query -W -f '${Version}' libwine:amd64)
  root_version=$(chroot "$dir" dpkg-query -W -f '${Version}' libwine:i386)
  [ "$host_version" = "$root_version" ] ||
    die "the host's Wine ($host_version) and the root's ($root_version) differ"
}

build_root() {
  local tmp=$cache/i386-root.new
  remove_dir "$tmp"
  mkdir -p "$cache/debs"
  say "building an i386 $suite root in $root (a few minutes)"
  local started=$SECONDS
  # Only the main archive: the security suite's i386 index may lag or fail without harm here.
  # Packages are kept in $cache/debs, so a rebuild downloads nothing again. debootstrap mounts
  # /proc and /sys inside the new root: in a private mount namespace those mounts vanish with it,
  # even when it is killed.
  if ! unshare --mount --propagation private -- debootstrap --arch=i386 --variant=minbase \
       --include=wine,wine32,libwine --cache-dir="$cache/debs" "$suite" "$tmp" "$mirror" \
       >"$cache/debootstrap.log" 2>&1; then
    tail -n 20 "$cache/debootstrap.log" >&2
    die "debootstrap failed (log: $cache/debootstrap.log)"
  fi
  install_wineserver "$tmp"
  touch "$tmp/.pellmora-complete"
  remove_dir "$root"
  mv "$tmp" "$root"
  say "root built in $((SECONDS - started)) s"
}

# mount_of TYPE OPTION: where a file system of TYPE whose options include OPTION is mounted.
mount_of() {
  awk -v type="$1" -v option="$2" '{
    for (i = 7; $i != "-"; i++) {}
    if ($(i + 1) == type && (option == "" || ("," $(i + 3) ",") ~ ("," option ","))) { print $5; exit }
  }' /proc/self/mountinfo
}

# The caller's own control group in the hierarchy that has the pids controller, when its
# children get a pids.max there (cgroup v1 "pids"; v2 with pids in the group's
# cgroup.subtree_control); nothing otherwise.
own_pids_group() {
  local mountpoint path
  # mountinfo: after the optional fields, "-", the file system type, the source, the options.
  mountpoint=$(mount_of cgroup pids)
  if [ -n "$mountpoint" ]; then
    path=$(awk -F: '$2 ~ /(^|,)pids(,|$)/ { print $3; exit }' /proc/self/cgroup)
  else
    mountpoint=$(mount_of cgroup2 '')
    path=$(awk -F: '$1 == "0" { print $3; exit }' /proc/self/cgroup)
    [ -n "$mountpoint" ] && grep -qw pids "$mountpoint$path/cgroup.subtree_control" 2>/dev/null || return 0
  fi
  [ -n "$mountpoint" ] && [ -n "$path" ] && [ -d "$mountpoint$path" ] && echo "${mountpoint%/}${path%/}"
  return 0
}

# Empties GROUP into its parent and removes it (every way out of a run, and a killed run's group
# at the next start).
remove_group() {
  local group=$1 parent pid tries
  parent=$(dirname "$group")
  for tries in 1 2 3 4 5; do
    [ -d "$group" ] || return 0
    while read -r pid; do echo "$pid" >"$parent/cgroup.procs"; done <"$group/cgroup.procs" 2>/dev/null || true
    rmdir "$group" 2>/dev/null && return 0
    sleep 0.1
  done
  say "cannot remove control group $group"
}

# Makes a child group of the caller's own that caps its tasks, and prints its path; prints
# nothing where none can be made. Removes the groups of runs that are gone.
make_task_group() {
  local base group stale pid start
  base=$(own_pids_group)
  [ -n "$base" ] || return 0
  for stale in "$base"/pellmora-i386-run-*; do
    [ -d "$stale" ] || continue
    pid=${stale##*-run-}; start=${pid#*-}; pid=${pid%%-*}
    [ "$(start_time "$pid")" = "$start" ] || remove_group "$stale"
  done
  group=$base/pellmora-i386-run-$$-$(start_time $$)
  if mkdir "$group" 2>/dev/null; then
    if echo "$max_tasks" >"$group/pids.max" 2>/dev/null; then
      echo "$group"
    else
      rmdir "$group"
    fi
  fi
  return 0
}

# enter CMD..: runs CMD in the root (in a private mount namespace, in the current directory).
enter() {
  local cwd=$PWD
  unshare --mount --propagation private -- "$BASH" -c '
    set -e
    root=$1 project=$2 cwd=$3; shift 3
    mount --rbind /dev "$root/dev"
    mount -t proc proc "$root/proc"
    mkdir -p "$root$project"
    mount --bind "$project" "$root$project"
    case "$cwd" in "$project"|"$project"/*) ;; *) cwd=/ ;; esac
    # The root'"'"'s own PATH: the caller'"'"'s may lead to stand-ins that would enter the root again.
    exec chroot "$root" /usr/bin/env --chdir="$cwd" \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
  ' enter "$root" "$project" "$cwd" "$@"
}

# The root's lock (fd 9): shared while a command runs in the root, exclusive to rebuild it.
# Processes started inside never inherit it: a persistent wineserver would hold it for good.
root_lock() {
  mkdir -p "$cache"
  exec 9>"$cache/lock"
  flock "$1" 9
}

ensure() {
  trap 'release $$' EXIT
  trap 'exit 143' TERM
  trap 'exit 130' INT
  trap 'exit 129' HUP
  acquire $$
  root_lock -s
  root_works 9>&- && return 0
  root_lock -x
  # Another run may have rebuilt it while this one waited; a single failed start under a loaded
  # machine is no reason to delete a root others may be using: ask again before rebuilding.
  if root_works 9>&- || root_works 9>&-; then return 0; fi
  [ ! -e "$root" ] || say "the root in $root is incomplete or broken: building it again"
  build_root
  root_works 9>&- || die "the new root in $root does not start Wine's 32-bit loader"
}

run() {
  [ -f "$root/.pellmora-complete" ] || die "no root in $root: run '$0 ensure' first"
  local status=0
  trap 'release $$; [ -z "${group:-}" ] || remove_group "$group"' EXIT
  trap 'exit 143' TERM
  trap 'exit 130' INT
  trap 'exit 129' HUP
  acquire $$
  group=$(make_task_group)
  root_lock -s
  (
    exec 9>&- 7>&-
    [ -z "$group" ] || echo "$BASHPID" >"$group/cgroup.procs"
    enter "$@"
  ) || status=$?
  exit $status
}

case "${1:-}" in
  ensure)
    ensure
    ;;
  run)
    shift
    [ $# -gt 0 ] || die "run: no command"
    quiet=1
    run "$@"
    ;;
  hold | release)
    [[ ${2:-} =~ ^[0-9]+$ ]] || die "$1: no process id"
    if [ "$1" = hold ]; then
      [ -n "$(start_time "$2")" ] || die "hold: no process $2"
      acquire "$2"
    else
      release "$2"
    fi
    ;;
  teardown)
    stop_processes_inside "$root"
    unmount_below "$root"
    users_lock
    drop_dead_users
    if [ -s "$binfmt_users" ]; then
      say "binfmt_misc entry $binfmt_name kept: runs in progress use it"
    else
      unregister_qemu
    fi
    ;;
  remove)
    root_lock -x
    remove_dir "$root.new"
    remove_dir "$root"
    users_lock
    drop_dead_users
    [ -s "$binfmt_users" ] || unregister_qemu
    rm -f "$qemu"
    ;;
  dir)
    echo "$root"
    ;;
  *)
    echo "usage: $0 ensure | run CMD.. | hold PID | release PID | teardown | remove | dir" >&2
    exit 2
    ;;
esac
