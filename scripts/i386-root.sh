#!/usr/bin/env bash
# An i386 Debian root in which the 32-bit Wine runs on machines that have no 32-bit Wine of their
# own (no wine32 package, or a kernel that refuses i386 programs).
#   i386-root.sh ensure      make the root if it is missing or broken (and, where the kernel cannot
#                            run i386 programs, register a static qemu-i386 for them)
#   i386-root.sh run CMD..   run CMD inside the root, in the same working directory
#   i386-root.sh teardown    stop every process inside the root, unmount what is mounted there and
#                            unregister qemu-i386 (the next ensure registers it again)
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
# Each `run` enters a private mount namespace, binds /dev, /proc and the project folder (at the
# same path, so build paths mean the same inside and out) and chroots: the mounts vanish with the
# namespace and never outlive the processes that use them. Everything started inside the root is
# placed in a process-count-limited control group where the kernel offers one.
#
# Needs root privileges (chroot, mounts, binfmt_misc) and, on the first run, the network.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
project=$(cd "$here/.." && pwd)
cache=${PELLMORA_CACHE:-/var/cache/pellmora}
root=$cache/i386-root
qemu=$cache/qemu/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
binfmt_name=pellmora-i386
suite=bookworm
mirror=${PELLMORA_DEBIAN_MIRROR:-http://deb.debian.org/debian}
# The cap on the tasks (processes and threads) of the emulated tree: a test run needs a few
# dozen; a runaway (a program restarting itself) stops here instead of filling the machine.
max_tasks=${PELLMORA_I386_MAX_TASKS:-1024}

say() { echo "i386-root: $*" >&2; }
die() { say "$*"; exit 1; }

[ "$(id -u)" -eq 0 ] || die "needs root privileges (chroot, mounts, binfmt_misc)"

# i386 ELF executables, as qemu's own binfmt table describes them.
binfmt_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
binfmt_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# The kernel runs i386 programs without help (the binfmt entry, when registered, is left out of
# the question by the script itself). Asked once per tree of processes: the answer is exported.
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

# Registers qemu-i386 for i386 ELF programs. Flag F opens the interpreter now, so it is found
# from inside the root as well.
register_qemu() {
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" || die "cannot mount $binfmt"
  fi
  if [ -f "$binfmt/$binfmt_name" ]; then echo -1 >"$binfmt/$binfmt_name"; fi
  # (A concurrent run may have registered it a moment ago.)
  echo ":$binfmt_name:M::$binfmt_magic:$binfmt_mask:$qemu:F" >"$binfmt/register" 2>/dev/null ||
    binfmt_registered || die "cannot register $qemu with binfmt_misc"
}

unregister_qemu() {
  if [ -f "$binfmt/$binfmt_name" ]; then echo -1 >"$binfmt/$binfmt_name"; fi
}

ensure_i386_execution() {
  binfmt_registered && return 0
  kernel_runs_i386 && return 0
  [ -x "$qemu" ] && "$qemu" --version >/dev/null 2>&1 || fetch_qemu
  register_qemu
  say "i386 programs run under $qemu (binfmt_misc entry $binfmt_name)"
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
  # Packages are kept in $cache/debs, so a rebuild downloads nothing again.
  if ! debootstrap --arch=i386 --variant=minbase --include=wine,wine32,libwine \
       --cache-dir="$cache/debs" "$suite" "$tmp" "$mirror" >"$cache/debootstrap.log" 2>&1; then
    tail -n 20 "$cache/debootstrap.log" >&2
    die "debootstrap failed (log: $cache/debootstrap.log)"
  fi
  install_wineserver "$tmp"
  touch "$tmp/.pellmora-complete"
  remove_dir "$root"
  mv "$tmp" "$root"
  say "root built in $((SECONDS - started)) s"
}

# Puts the calling shell into a process-count-limited control group (cgroup v1 "pids" controller,
# or cgroup v2 with pids enabled below the root); silently none where neither is writable.
limit_tasks() {
  local group=
  if [ -d /sys/fs/cgroup/pids ]; then
    group=/sys/fs/cgroup/pids/pellmora-i386
  elif grep -qw pids /sys/fs/cgroup/cgroup.subtree_control 2>/dev/null; then
    group=/sys/fs/cgroup/pellmora-i386
  fi
  [ -n "$group" ] || return 0
  { mkdir -p "$group" && echo "$max_tasks" >"$group/pids.max" && echo $$ >"$group/cgroup.procs"; } \
    2>/dev/null || true
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

ensure() {
  mkdir -p "$cache"
  exec 9>"$cache/lock"
  flock 9
  ensure_i386_execution
  if ! root_works; then
    [ ! -e "$root" ] || say "the root in $root is incomplete or broken: building it again"
    build_root
    root_works || die "the new root in $root does not start Wine's 32-bit loader"
  fi
  exec 9>&-
}

case "${1:-}" in
  ensure)
    ensure
    ;;
  run)
    shift
    [ $# -gt 0 ] || die "run: no command"
    [ -f "$root/.pellmora-complete" ] || die "no root in $root: run '$0 ensure' first"
    binfmt_registered || kernel_runs_i386 || ensure_i386_execution
    limit_tasks
    enter "$@"
    ;;
  teardown)
    stop_processes_inside "$root"
    unmount_below "$root"
    unregister_qemu
    ;;
  remove)
    remove_dir "$root.new"
    remove_dir "$root"
    unregister_qemu
    rm -f "$qemu"
    ;;
  dir)
    echo "$root"
    ;;
  *)
    echo "usage: $0 ensure | run CMD.. | teardown | remove | dir" >&2
    exit 2
    ;;
esac
