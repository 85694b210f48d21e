#!/usr/bin/env bash
# The release's registration check (package/check-registration.js) under both script hosts, in
# the build's prefix: with the DLL registered in one registry view, then in both, then with a
# registration that names a missing file and a DLL of the wrong bitness. A 64-bit prefix has both
# views; there the 32-bit view is filled with reg.exe (no 32-bit program runs beside the 64-bit
# ones on every machine), naming a stand-in that carries a 32-bit PE header. A 32-bit prefix has
# one view.
source "$(dirname "$0")/lib.sh"

# Wine's drive Z: is the root folder: the Windows form of a path without starting winepath, which
# costs seconds where Wine runs emulated.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# What begin and finish do not remove: the 32-bit view's entries of a 64-bit prefix, and the
# per-user class.
clean_elsewhere() {
  local key
  wine_run wine reg delete "HKCU\\Software\\Classes\\CLSID\\$CLSID" /f >/dev/null 2>&1
  [ "$PLATFORM" == win64 ] || return 0
  for key in "CLSID\\$CLSID" "$PROGID" "$PROGID.1"; do
    wine_run wine reg delete "HKLM\\Software\\Classes\\$key" /f /reg:32 >/dev/null 2>&1
  done
}
begin
clean_elsewhere

dll=$(windows_path "$PELLMORA_DLL")
checker=$(windows_path "$PELLMORA_SOURCE/package/check-registration.js")
report=$PELLMORA_WORK/report.txt
if [ "$PLATFORM" == win64 ]; then bits=64; else bits=32; fi

# A file that is a 32-bit DLL as far as its PE header goes.
stand_in=$PELLMORA_WORK/x86/Pellmora.dll
mkdir -p "$(dirname "$stand_in")"
{ printf 'MZ'; head -c 58 /dev/zero; printf '\x40\0\0\0PE\0\0\x4c\x01'; head -c 200 /dev/zero; } >"$stand_in"

# register_32_bit_view DLL: the class, both ProgIDs and the type library in the 32-bit view,
# naming the Windows path DLL, as the 32-bit regsvr32 would write them.
register_32_bit_view() {
  local classes='HKLM\Software\Classes' row key name data
  while IFS='|' read -r key name data; do
    if [ "$name" == @ ]; then name=(/ve); else name=(/v "$name"); fi
    wine_run wine reg add "$classes\\$key" "${name[@]}" /d "$data" /f /reg:32 >/dev/null 2>&1 || fail "reg add $key"
  done <<EOF
CLSID\\$CLSID|@|ConnectionString Class
CLSID\\$CLSID\\InprocServer32|@|$1
CLSID\\$CLSID\\InprocServer32|ThreadingModel|Apartment
CLSID\\$CLSID\\TypeLib|@|$LIBID
$PROGID|@|ConnectionString Class
$PROGID\\CLSID|@|$CLSID
$PROGID.1\\CLSID|@|$CLSID
TypeLib\\$LIBID\\1.0\\0\\win32|@|$1
EOF
}

# run_check NAME HOST STATUS LINE...: the check run by HOST (cscript or wscript) exits with
# STATUS, and its report holds every LINE (a "!" in front: holds no line with that text).
run_check() {
  local name=$1 host=$2 expected_status=$3 status line before=$failures
  shift 3
  rm -f "$report"
  wine_run wine "$host" //nologo "$checker" "/out:$(windows_path "$report")" >/dev/null 2>&1
  status=$?
  if [ "$status" != "$expected_status" ]; then
    fail "$name, $host: exit status $status, expected $expected_status"
  else
    pass
  fi
  local text
  text=$(iconv -f UTF-16 -t UTF-8 "$report" 2>/dev/null | tr -d '\r')
  for line in "$@"; do
    if [ "${line:0:1}" == '!' ]; then
      if grep -qF -- "${line:1}" <<<"$text"; then fail "$name, $host: the report says '${line:1}'"; else pass; fi
    elif grep -qF -- "$line" <<<"$text"; then
      pass
    else
      fail "$name, $host: the report lacks '$line'"
    fi
  done
  [ "$failures" -eq "$before" ] || sed 's/^/    /' <<<"$text"
}

own="$bits-bit view, per machine"
class_line="  class $CLSID: $dll  [present, $bits-bit]"
library_line="  type library $LIBID 1.0 ($PLATFORM): $dll  [present, $bits-bit]"
created="Creating $PROGID in this $bits-bit host: succeeded, and parse works"

# One view: the DLL's own, registered by regsvr32.
check "regsvr32 /s succeeds" regsvr /s "$dll"
one_view=("$own:" "$class_line" "  ProgID $PROGID: registered, names the class"
          "  ProgID $PROGID.1: registered, names the class" "$library_line"
          "$bits-bit view, per user: nothing registered" "$created" "No problems found.")
if [ "$bits" == 64 ]; then
  one_view+=("This host: 64-bit" "on 64-bit Windows" "  => 32-bit hosts find no class here (\"Class not registered\")")
else
  one_view+=("This host: 32-bit" "on 32-bit Windows" "!64-bit view")
fi
for host in cscript wscript; do
  run_check "one view registered" "$host" 0 "${one_view[@]}"
done

if [ "$bits" == 64 ]; then
  # Both views: the other one names the 32-bit stand-in.
  x86=$(windows_path "$stand_in")
  register_32_bit_view "$x86"
  for host in cscript wscript; do
    run_check "both views registered" "$host" 0 "$class_line" "$library_line" "32-bit view, per machine:" \
      "  class $CLSID: $x86  [present, 32-bit]" "  type library $LIBID 1.0 (win32): $x86  [present, 32-bit]" \
      "  => 32-bit hosts find the class here" "No problems found."
  done
fi

# A registration whose file has gone, machine-wide and per user, and one naming a DLL of the wrong
# bitness: the object cannot be created, and the report says why.
copy=$PELLMORA_WORK/moved/Pellmora.dll
mkdir -p "$(dirname "$copy")"
cp "$PELLMORA_DLL" "$copy"
moved=$(windows_path "$copy")
check "regsvr32 /s of a copy succeeds" regsvr /s "$moved"
rm -f "$copy"
wrong_bitness=()
if [ "$bits" == 64 ]; then
  # The 32-bit view naming the 64-bit DLL: the most common cause of "Class not registered".
  register_32_bit_view "$dll"
  wrong_bitness=("  class $CLSID: $dll  [present, 64-bit]"
                 "32-bit view, per machine: the class names a 64-bit DLL, which 32-bit hosts cannot load (0x800700C1)")
fi
wine_run wine reg add "HKCU\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32" /ve /d "$moved" /f >/dev/null 2>&1
run_check "the registered file is missing" cscript 1 "  class $CLSID: $moved  [file missing]" \
  "  type library $LIBID 1.0 ($PLATFORM): $moved  [file missing]" \
  "$own: the class names $moved, which does not exist" "$bits-bit view, per user (" \
  "Creating $PROGID in this $bits-bit host: failed" "${wrong_bitness[@]}"

clean_elsewhere
finish
