#!/usr/bin/env bash
# A DLL without its embedded type library falls back to the ".tlb" file of the same name beside
# it: that file is registered (and serves late-bound callers). Without either, registration and
# unregistration fail at the type library and leave what the earlier steps wrote or kept.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/expected_entries.sh"
begin

folder="$PELLMORA_WORK/beside"
mkdir -p "$folder"
tool() { wine_run wine "$PELLMORA_RESOURCE_TOOL" "$@" >/dev/null 2>&1; }
check "a copy without the embedded type library is made" \
  tool split-typelib "$(windows_path "$PELLMORA_DLL")" "$(windows_path "$folder/Pellmora.dll")" \
  "$(windows_path "$folder/Pellmora.tlb")"
dll=$(windows_path "$folder/Pellmora.dll")
tlb=$(windows_path "$folder/Pellmora.tlb")

check "regsvr32 /s succeeds with the .tlb beside the DLL" regsvr /s "$dll"
expect_script_entries "type library file" "$dll"
expect_type_library "type library file" "$tlb"

example=$(windows_path "$PELLMORA_SOURCE/examples/connection_string.js")
output=$(wine_run wine cscript //nologo "$example" "uid=beside" 2>&1 | tr -d '\r')
check "late binding works through the .tlb file" grep -q '^UID: *beside$' <<<"$output"

check "regsvr32 /u succeeds with the .tlb beside the DLL" regsvr /s /u "$dll"
expect_clean "type library file, unregistration"

# Neither an embedded type library nor a file: registration stops at the type library, after
# both scripts have run; unregistration removes the class entries, then stops and keeps AppID.
rm -f "$folder/Pellmora.tlb"
check_not "regsvr32 /s fails without any type library" regsvr /s "$dll"
expect_script_entries "no type library, registration" "$dll"
check_not "no type library is registered" key_exists "$ROOT\\TypeLib\\$LIBID"

check_not "regsvr32 /u fails without any type library" regsvr /s /u "$dll"
check_not "the class entries are removed" key_exists "$ROOT\\CLSID\\$CLSID"
check_not "the ProgID is removed" key_exists "$ROOT\\$PROGID"
check_not "the versioned ProgID is removed" key_exists "$ROOT\\$PROGID.1"
check "the AppID entries stay" key_exists "$ROOT\\AppID\\$APPID"
check "the AppID module entry stays" key_exists "$ROOT\\AppID\\Pellmora.DLL"

finish
