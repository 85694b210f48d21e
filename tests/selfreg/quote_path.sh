#!/usr/bin/env bash
# A DLL in a folder whose name holds single quotes (and a percent sign) registers its real path:
# the path reaches the registry with one quote where the folder has one, the type library is
# registered from it, and the object is created from that file.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/expected_entries.sh"
begin

folder="$PELLMORA_WORK/it's 100% Bob's"
mkdir -p "$folder"
cp "$PELLMORA_DLL" "$folder/Pellmora.dll"
dll=$(windows_path "$folder/Pellmora.dll")
check "the Windows path keeps the quotes" grep -q "it's 100% Bob's\\\\Pellmora.dll$" <<<"$dll"

check "regsvr32 /s succeeds" regsvr /s "$dll"
expect_script_entries "quoted folder" "$dll"
expect_type_library "quoted folder" "$dll"

example=$(windows_path "$PELLMORA_SOURCE/examples/connection_string.vbs")
output=$(wine_run wine cscript //nologo "$example" "Server=quoted" 2>&1 | tr -d '\r')
check "the object is created from the registered file" grep -q '^DataSource: *quoted$' <<<"$output"

check "regsvr32 /u succeeds" regsvr /s /u "$dll"
expect_clean "unregistration"

finish
