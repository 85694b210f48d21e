#!/usr/bin/env bash
# After regsvr32, JScript and VBScript create the object by both ProgIDs and use every member.
source "$(dirname "$0")/lib.sh"
begin

dll=$(windows_path "$PELLMORA_DLL")
check "regsvr32 /s succeeds" regsvr /s "$dll"

here=$(dirname "$0")
members_output() { wine_run wine cscript //nologo "$(windows_path "$here/$1")" "$2" 2>&1 | tr -d '\r'; }

# run_members SCRIPT PROGID: the script's own checks all pass; its failures are shown.
run_members() {
  local output
  output=$(members_output "$1" "$2")
  grep '^FAIL' <<<"$output" | sed "s/^/    $1 $2: /"
  grep -Eq '^members: [1-9][0-9]* passed, 0 failed$' <<<"$output"
}
for script in members.js members.vbs; do
  for progid in "$PROGID" "$PROGID.1"; do
    check "$script by $progid" run_members "$script" "$progid"
  done
done

check "regsvr32 /u succeeds" regsvr /s /u "$dll"
# Without registration the ProgIDs no longer resolve.
output=$(members_output members.js "$PROGID")
check "no object after unregistration" grep -q '^members: 0 passed, 1 failed$' <<<"$output"

finish
