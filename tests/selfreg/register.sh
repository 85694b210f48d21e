#!/usr/bin/env bash
# regsvr32 /s writes exactly the entries of both registration scripts and registers the type
# library from the DLL; registering again gives the same state and drops leftovers below the class
# key; regsvr32 /u leaves AppID and CLSID and nothing else, also when run twice.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/expected_entries.sh"
begin

dll=$(windows_path "$PELLMORA_DLL")

check "regsvr32 /s succeeds" regsvr /s "$dll"
expect_script_entries "first registration" "$dll"
expect_type_library "first registration" "$dll"

# Leftovers of an earlier registration: the class key and Programmable are replaced wholesale.
wine_run wine reg add "$ROOT\\CLSID\\$CLSID\\Stray\\Deeper" /v Old /d x /f >/dev/null 2>&1
wine_run wine reg add "$ROOT\\CLSID\\$CLSID" /v Stray /d x /f >/dev/null 2>&1
wine_run wine reg add "$ROOT\\CLSID\\$CLSID\\Programmable\\Stray" /ve /d x /f >/dev/null 2>&1
wine_run wine reg add "$ROOT\\CLSID\\$CLSID\\InprocServer32" /v Stray /d x /f >/dev/null 2>&1
check "leftovers are in place" key_exists "$ROOT\\CLSID\\$CLSID\\Programmable\\Stray"

check "registering again succeeds" regsvr /s "$dll"
expect_script_entries "second registration" "$dll"
expect_type_library "second registration" "$dll"

check "regsvr32 /u succeeds" regsvr /s /u "$dll"
expect_clean "unregistration"

check "regsvr32 /u succeeds a second time" regsvr /s /u "$dll"
expect_clean "second unregistration"

finish
