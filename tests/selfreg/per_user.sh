#!/usr/bin/env bash
# Registration for the current user: regsvr32 /n /i:user writes the entries of a registration for
# the machine, moved under HKCU\Software\Classes, and nothing under HKLM; regsvr32 /u /n /i:user
# removes exactly those. Each kind of registration leaves the other whole. Read back as the class
# lookup would, the user's entries lead from the ProgID to the DLL and to a type library the
# loader accepts. Any command line but "user" (any case) is E_INVALIDARG and changes nothing.
# (Wine's class lookup does not read HKCU\Software\Classes, so creating the object from a
# registration for the user alone cannot be shown here.)
source "$(dirname "$0")/lib.sh"

USER_ROOT='HKEY_CURRENT_USER\Software\Classes'

# Clean both: what an earlier run left in either place.
begin
ROOT=$USER_ROOT clean_registry

dll=$(windows_path "$PELLMORA_DLL")
probe() { wine_run wine "$PELLMORA_PER_USER_PROBE" "$@" 2>/dev/null | tr -d '\r'; }

# entries user|machine: every key and value of our subtrees in the user's classes key or in
# HKEY_CLASSES_ROOT, with the key names relative to it, sorted.
entries() { probe dump "$1" | LC_ALL=C sort; }

# same NAME EXPECTED ACTUAL
same() {
  if [ "$2" == "$3" ]; then pass; else fail "$1"; diff <(echo "$2") <(echo "$3") | sed 's/^/    /'; fi
}

# machine_software: HKLM\Software as exported, where a registration of the machine would write
# (its classes key and the 32-bit view); the rest of HKLM changes as Wine runs.
machine_software() {
  local file="$PELLMORA_WORK/machine.reg"
  rm -f "$file"
  wine_run wine reg export 'HKEY_LOCAL_MACHINE\Software' "$(windows_path "$file")" /y >/dev/null 2>&1 &&
    iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r'
}
machine_before=$(machine_software)
check "HKLM\Software is read back" test -n "$machine_before"

# Command lines DllInstall refuses, in either direction: E_INVALIDARG, nothing written.
refused=(-null "" machine users " user" "user " us "user;x")
expected=$(printf '0x80070057\n%.0s' "${refused[@]}")
for direction in 1 0; do
  same "DllInstall($direction, each of: ${refused[*]}) is E_INVALIDARG" "$expected" \
    "$(probe install "$dll" $direction "${refused[@]}")"
done
check_not "regsvr32 /n /i:machine fails" regsvr /s /n /i:machine "$dll"
same "refused command lines write nothing for the user" "" "$(entries user)"
same "refused command lines write nothing for the machine" "" "$(entries machine)"

# For the user alone.
check "regsvr32 /n /i:user succeeds" regsvr /s /n /i:user "$dll"
same "registering for the user leaves HKLM alone" "$machine_before" "$(machine_software)"
user_entries=$(entries user)
check "the user's entries are read back" grep -q "^\\\\CLSID" <<<"$user_entries"
same "read back as the class lookup would" "" "$(probe readback "$dll")"
check "regsvr32 /u /n /i:USER succeeds" regsvr /s /u /n /i:USER "$dll"
ROOT=$USER_ROOT expect_clean "unregistration for the user"
same "unregistering for the user writes nothing for the machine" "" "$(entries machine)"

# The same entries as a registration for the machine (whose entries register.sh checks one by
# one), in the user's classes key.
check "regsvr32 for the machine succeeds" regsvr /s "$dll"
machine_entries=$(entries machine)
same "the user's entries are the machine's" "$machine_entries" "$user_entries"

# Both at once; removing one leaves the other as it was, in both orders.
check "regsvr32 /n /i:UsEr beside the machine's succeeds" regsvr /s /n /i:UsEr "$dll"
same "the user's entries beside the machine's" "$user_entries" "$(entries user)"
same "the machine's entries beside the user's" "$machine_entries" "$(entries machine)"
check "regsvr32 /u /n /i:user succeeds" regsvr /s /u /n /i:user "$dll"
same "unregistering the user keeps the machine's" "$machine_entries" "$(entries machine)"
same "unregistering the user beside the machine" "" "$(entries user)"

check "regsvr32 /n /i:user succeeds again" regsvr /s /n /i:user "$dll"
check "regsvr32 /u for the machine succeeds" regsvr /s /u "$dll"
same "unregistering the machine beside the user" "" "$(entries machine)"
same "unregistering the machine keeps the user's" "$user_entries" "$(entries user)"

check "regsvr32 /u /n /i:user succeeds" regsvr /s /u /n /i:user "$dll"
check "regsvr32 /u /n /i:user succeeds with nothing left to remove" regsvr /s /u /n /i:user "$dll"
same "second unregistration for the user" "" "$(entries user)"

ROOT=$USER_ROOT clean_registry
finish
