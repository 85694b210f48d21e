#!/usr/bin/env bash
# Exits 0 when this machine's kernel runs i386 programs itself, 1 when it does not. Some kernels are
# built or booted without IA-32 emulation: every i386 program gets "Exec format error" there, and
# the 32-bit Wine tests run in an emulated i386 root instead. Wine need not be installed.
#
# The answer comes from running a hand-made static i386 program and looking, from outside, at what
# runs: the probe itself when the kernel ran it, another program when a binfmt_misc entry handed it
# to a user-mode emulator (such entries make every i386 program start on any kernel, and they apply
# in containers that cannot see them), nothing when the kernel refused it ("Exec format error").
# An emulator's entry would also hide a kernel that can run the probe, so the probe avoids them: the
# kernel's own ELF loader ignores the identification bytes after EI_VERSION (OS ABI, ABI version,
# padding), while an emulator's entry usually requires them to be zero. The probe tries a few values
# for those bytes, skipping the ones a visible enabled entry claims. Only when every variant is
# claimed does the answer come from the kernel's configuration and command line
# (CONFIG_IA32_EMULATION, ia32_emulation=); when that cannot be read either, the answer is no, since
# the emulated root works on every kernel.
set -uo pipefail

[ "$(uname -m)" == x86_64 ] || [ "$(uname -m)" == i686 ] || exit 1

# The ELF header and program header of a 93-byte static i386 executable, with bytes 7 to 15 of its
# identification left out; the code waits for a signal forever (loop: mov eax,29; int 0x80; jmp loop).
elf_head='\x7fELF\x01\x01\x01'
elf_rest='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'
elf_rest+='\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
elf_rest+='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
elf_rest+='\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
elf_rest+='\xb8\x1d\x00\x00\x00\xcd\x80\xeb\xf7'
# Bytes 7 to 15 of each variant, as hex pairs.
variants=(000000000000000000 000100000000000000 0000000000000000a5 5a5a5a5a5a5a5a5a5a)

# True when an enabled binfmt_misc magic entry matches the file's first bytes.
claimed_by_binfmt_misc() {
  local file=$1 entry
  local header
  # The kernel matches against the first 256 bytes, zero beyond the end of the file.
  header=$(od -An -v -tx1 -N256 "$file" | tr -d ' \n')
  while [ ${#header} -lt 512 ]; do header+=00; done
  [ "$(cat /proc/sys/fs/binfmt_misc/status 2>/dev/null)" == enabled ] || return 1
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] || continue
    case ${entry##*/} in register | status) continue ;; esac
    grep -qx enabled "$entry" 2>/dev/null || continue
    local offset magic mask
    offset=$(sed -n 's/^offset //p' "$entry")
    magic=$(sed -n 's/^magic //p' "$entry")
    mask=$(sed -n 's/^mask //p' "$entry")
    # An extension entry (no magic) matches by file name; the probe's name has no extension.
    [ -n "$magic" ] || continue
    local i n=$((${#magic} / 2)) matched=1
    for ((i = 0; i < n; i++)); do
      local want=$((16#${magic:2*i:2})) have=$((16#${header:2*(offset+i):2}))
      local m=255
      [ -z "$mask" ] || m=$((16#${mask:2*i:2}))
      if (((want & m) != (have & m))); then matched=0; break; fi
    done
    [ "$matched" -eq 1 ] && return 0
  done
  return 1
}

# Starts the probe and prints how it ran: "native" when the probe itself is the running program,
# "emulated" when another program runs in its place, "refused" when nothing started.
run_probe() {
  local probe=$1 shell exe pid i
  shell=$(readlink /proc/$$/exe)
  "$probe" >/dev/null 2>&1 &
  pid=$!
  # Until the forked shell has replaced itself, /proc shows the shell; a failed start leaves no
  # program (a zombie has no exe link).
  for ((i = 0; i < 300; i++)); do
    exe=$(readlink "/proc/$pid/exe" 2>/dev/null)
    if [ -z "$exe" ]; then
      wait "$pid" 2>/dev/null
      echo refused
      return
    fi
    if [ "$exe" != "$shell" ]; then
      kill -KILL "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      if [ "$exe" == "$probe" ]; then echo native; else echo emulated; fi
      return
    fi
    sleep 0.01
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  echo refused
}

# Decides from the kernel's configuration and command line; exits.
answer_from_configuration() {
  local config=""
  if [ -r /proc/config.gz ]; then
    config=$(gzip -dc /proc/config.gz 2>/dev/null)
  elif [ -r "/boot/config-$(uname -r)" ]; then
    config=$(cat "/boot/config-$(uname -r)")
  fi
  local switch
  switch=$(tr ' ' '\n' </proc/cmdline | sed -n 's/^ia32_emulation=//p' | tail -n 1)
  if [ -z "$config" ]; then
    echo "runs-32-bit: i386 programs go to a binfmt_misc emulator here and the kernel's" \
      "configuration is unreadable; answering no" >&2
    exit 1
  fi
  grep -qx 'CONFIG_IA32_EMULATION=y' <<<"$config" || exit 1
  case $switch in
    0 | n | N | off | false) exit 1 ;;
    1 | y | Y | on | true) exit 0 ;;
  esac
  grep -qx 'CONFIG_IA32_EMULATION_DEFAULT_DISABLED=y' <<<"$config" && exit 1
  exit 0
}

dir=$(mktemp -d "${TMPDIR:-/tmp}/runs-32-bit.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT
dir=$(cd "$dir" && pwd -P)
# A temporary folder mounted noexec would answer "no" for the wrong reason: check with a native one.
cp "$(type -P true)" "$dir/native" && "$dir/native" || {
  echo "runs-32-bit: cannot run programs from $dir; answering no" >&2
  exit 1
}

for variant in "${variants[@]}"; do
  printf "$elf_head$(sed 's/../\\x&/g' <<<"$variant")$elf_rest" >"$dir/probe"
  chmod +x "$dir/probe"
  claimed_by_binfmt_misc "$dir/probe" && continue
  case $(run_probe "$dir/probe") in
    native) exit 0 ;;
    refused) exit 1 ;;
  esac
done
answer_from_configuration
