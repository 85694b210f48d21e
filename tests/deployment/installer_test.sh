#!/usr/bin/env bash
# The Windows Installer packages as an administrator meets them, in a fresh Wine prefix (run
# through in_prefixes.sh: a 64-bit one, or one of each architecture's own), for each architecture:
#   1. msiexec /i /qn installs; below HKCR (both views) it writes exactly what regsvr32 of the same
#      DLL writes, key for key and value for value, the DLL's folder aside;
#   2. the VBScript, JScript and C++ examples work against the installed DLL;
#   3. repair brings back a deleted DLL;
#   4. the next version's package (built here) upgrades it: one product, one DLL, the same entries;
#   5. msiexec /x leaves the registry as before and no file or folder of ours;
#   6. the per-user package installs into the user's programs folder and writes the per-machine
#      package's entries moved to HKCU\Software\Classes, nothing under HKLM; they lead from the
#      ProgID to the installed DLL as Windows reads them; repair brings back a deleted DLL;
#      msiexec /x leaves HKCU and the folder as before;
# and, where both run in one prefix, both packages side by side: removing one leaves the other working.
#
# Wine 8 keeps a copy of each ProgID per registry view where 64-bit Windows 7 and later keep one
# key for both (shared/DESIGN.md), and no views at all below HKCU\Software\Classes. The packages
# are laid out for Windows (package_tables.py checks that statically), so this test reads the
# registry as Windows 7 shows it: the views of every key but the redirected ones are folded into
# one (windows_classes), and a 64-bit script host finds the ProgIDs the packages write through the
# 32-bit view (with_shared_progids).
#
# The CTest entry sets PELLMORA_SOURCE, PELLMORA_RELEASE (the folder of the release files),
# PELLMORA_VERSION, PELLMORA_ARCHITECTURES ("x86 x64"), PELLMORA_EXAMPLE_CLIENTS (the C++ example
# of each architecture, same order) and PELLMORA_WORK (a scratch folder holding the prefix).
source "$(dirname "$0")/../selfreg/lib.sh"

read -r -a architectures <<<"$PELLMORA_ARCHITECTURES"
read -r -a runnable <<<"${PELLMORA_RUN_ARCHITECTURES:-$PELLMORA_ARCHITECTURES}"
read -r -a clients <<<"$PELLMORA_EXAMPLE_CLIENTS"
prefix=$WINEPREFIX
work=$PELLMORA_WORK
release_script=$PELLMORA_SOURCE/scripts/release.py

# Programs run through their architecture's loader (lib.sh); the registry (both views) is read for
# dump_tree through the 64-bit loader in a 64-bit prefix.
# In a 64-bit prefix the 32-bit package's keys live in the 32-bit view (Wow6432Node), its files
# in "Program Files (x86)"; a 32-bit prefix has only the one view and "Program Files".
[ "$WINEARCH" == win64 ] && view32='Wow6432Node\' x86_files='Program Files (x86)' || view32='' x86_files='Program Files'
on() { local architecture=$1; shift; "$(loader "$architecture")" "$@" </dev/null; }
wine_run() { if [ "$1" == wine ] && [ "$WINEARCH" == win64 ]; then shift; /usr/lib/wine/wine64 "$@" </dev/null; else "$@" </dev/null; fi; }
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
seconds() { date +%s.%N; }
elapsed() { echo "$1 $2" | awk '{ printf "%.1f", $2 - $1 }'; }

# windows_classes HIVE: dump_tree lines of HIVE\Software\Classes as 64-bit Windows 7 and later
# show them: the 32-bit view's copy of a key that is not redirected there is the key itself.
windows_classes() {
  local classes="HKEY_$1\\\\Software\\\\Classes\\\\"   # as a regular expression
  sed -E "/^${classes}Wow6432Node\\\\(CLSID|Interface|DirectShow|Media Type|MediaFoundation)(\\\\|\\|)/I! s/^(${classes})Wow6432Node\\\\/\\1/I" |
    LC_ALL=C sort -u
}
# Everything below HKCR as dump_tree lines, without Windows Installer's own records.
snapshot() {
  dump_tree 'HKEY_LOCAL_MACHINE\Software\Classes' | grep -v -i -E '^HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer(\\|\|)' |
    windows_classes LOCAL_MACHINE
}
# The user's classes, which Windows merges into HKCR for the user's own processes.
user_snapshot() { dump_tree 'HKEY_CURRENT_USER\Software\Classes' | windows_classes CURRENT_USER; }
# added BEFORE AFTER FOLDER: the lines AFTER adds, with the Windows folder FOLDER (its trailing
# backslash included) written as "<folder>\".
added() {
  comm -13 <(echo "$1") <(echo "$2") | while IFS= read -r line; do echo "${line//"$3"/<folder>\\}"; done | LC_ALL=C sort
}
# expect_same NAME EXPECTED ACTUAL
expect_same() {
  if [ "$2" == "$3" ]; then pass; else
    fail "$1"
    diff <(echo "$2") <(echo "$3") | head -n 40 | sed 's/^/    /'
  fi
}

# with_shared_progids COMMAND...: runs COMMAND with the ProgID keys the packages write through the
# 32-bit view copied into the 64-bit one where it has none, as one key serves both on Windows 7
# and later, and removes the copies afterwards.
with_shared_progids() {
  local progid copies=() status
  if [ "$WINEARCH" == win64 ]; then
    for progid in "$PROGID" "$PROGID.1"; do
      wine_run wine reg query "HKLM\\Software\\Classes\\$progid" >/dev/null 2>&1 && continue
      wine_run wine reg copy "HKLM\\Software\\Classes\\Wow6432Node\\$progid" "HKLM\\Software\\Classes\\$progid" /s /f \
        >/dev/null 2>&1 && copies+=("$progid")
    done
  fi
  "$@"
  status=$?
  for progid in "${copies[@]}"; do wine_run wine reg delete "HKLM\\Software\\Classes\\$progid" /f >/dev/null 2>&1; done
  return $status
}

sample=$(tr -d '\r' <"$PELLMORA_SOURCE/tests/selfreg/example_sample.txt")
# expect_examples ARCHITECTURE WHEN SCRIPTS... : the named examples (vbs, js, client) print the
# built-in sample's lines.
expect_examples() {
  local architecture=$1 when=$2 example output; shift 2
  for example in "$@"; do
    case "$example" in
      client) output=$(on "$architecture" "${client[$architecture]}" 2>&1 | tr -d '\r') ;;
      *) output=$(with_shared_progids on "$architecture" cscript //nologo \
                    "$(windows_path "$PELLMORA_SOURCE/examples/connection_string.$example")" 2>&1 | tr -d '\r') ;;
    esac
    expect_same "$architecture: the $example example $when" "$sample" "$output"
  done
}

# products ARCHITECTURE: the version of every installed product of that architecture's package.
products() {
  local key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
  [ "$1" == x86 ] && key="HKEY_LOCAL_MACHINE\\Software\\${view32}Microsoft\\Windows\\CurrentVersion\\Uninstall"
  dump_tree "$key" | awk -F'|' -v name="Pellmora ($1)" '
    $2 == "DisplayName" && $3 == name { mine[$1] = 1 }
    $2 == "DisplayVersion" { version[$1] = $3 }
    END { for (k in mine) print version[k] }'
}

# msiexec WHAT OPTIONS PACKAGE: runs the prefix's own msiexec (in a 64-bit prefix the 64-bit one,
# which serves both kinds of package) and records how long it took under WHAT.
msiexec() {
  local what=$1 start status msiexec_loader=/usr/lib/wine/wine64; shift
  [ "$WINEARCH" == win64 ] || msiexec_loader=wine
  start=$(seconds)
  "$msiexec_loader" msiexec "$@" /qn </dev/null >/dev/null 2>&1
  status=$?
  timings+=("$what $(elapsed "$start" "$(seconds)") s")
  return $status
}

# The release's DLLs, as regsvr32 registers them and as the upgrade's package holds them.
unpacked=$work/unpacked
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$PELLMORA_RELEASE/pellmora-$PELLMORA_VERSION.zip")

declare -A client folder folder_windows
for i in "${!architectures[@]}"; do client[${architectures[$i]}]=${clients[$i]}; done
folder[x64]="$prefix/drive_c/Program Files/Pellmora"
folder_windows[x64]='C:\Program Files\Pellmora\'
folder[x86]="$prefix/drive_c/$x86_files/Pellmora"
folder_windows[x86]="C:\\$x86_files\\Pellmora\\"

# The per-user packages' folder: the user's programs folder.
user_programs_windows=$(on "${runnable[0]}" cmd /c 'echo %LOCALAPPDATA%\Programs' 2>/dev/null | tr -d '\r')
# unix_path WINDOWS_PATH: the file of a path on drive C.
unix_path() { local path=${1#[Cc]:}; echo "$prefix/drive_c${path//\\//}"; }
user_programs=$(unix_path "$user_programs_windows")
declare -A platform=([x86]=win32 [x64]=win64)
# key_case: dump_tree lines with their keys in lower case, sorted, each once.
key_case() { awk -F'|' -v OFS='|' '{ $1 = tolower($1); print }' | LC_ALL=C sort -u; }
# user_value KEY: the unnamed value of KEY in the per-user snapshot taken after installation.
user_value() {
  KEY=$1 awk -F'|' 'toupper($1) == toupper(ENVIRON["KEY"]) && $2 == "@" { print substr($0, length($1) + 4) }' \
    <<<"$user_installed"
}

# The next version: the third part one higher (Windows Installer compares the first three).
IFS=. read -r major minor patch tweak <<<"$PELLMORA_VERSION"
next=$major.$minor.$((patch + 1)).$tweak

timings=()
# A script host registers its own type library the first time it runs: before the snapshot.
echo 'WScript.Quit 0' >"$work/nothing.vbs"
for architecture in "${runnable[@]}"; do on "$architecture" cscript //nologo "$(windows_path "$work/nothing.vbs")" >/dev/null 2>&1; done
clean=$(snapshot)
for architecture in "${runnable[@]}"; do
  package=$PELLMORA_RELEASE/pellmora-$PELLMORA_VERSION-$architecture.msi
  package_windows=$(windows_path "$package")

  # 1 and 2: install.
  check "$architecture: msiexec /i /qn succeeds" msiexec "$architecture install" /i "$package_windows"
  installed=$(snapshot)
  installer_entries=$(added "$clean" "$installed" "${folder_windows[$architecture]}")
  check_not "$architecture: installing removes no entry" grep -q . <(comm -23 <(echo "$clean") <(echo "$installed"))
  expect_same "$architecture: the installed DLL is the release's" "$(cat "$unpacked/$architecture/Pellmora.dll" | sha256sum)" \
    "$(cat "${folder[$architecture]}/Pellmora.dll" 2>/dev/null | sha256sum)"
  expect_examples "$architecture" "after the installation" vbs js client

  # 3: repair. Wine 8's msiexec implements /fa neither with a package (it hands the path on where
  # a product code belongs: ERROR_UNKNOWN_PRODUCT) nor with a product code ("not implemented"):
  # the test runs what /fa stands for.
  rm -f "${folder[$architecture]}/Pellmora.dll"
  check "$architecture: a repair (REINSTALL=ALL REINSTALLMODE=amus) succeeds" \
    msiexec "$architecture repair" /i "$package_windows" REINSTALL=ALL REINSTALLMODE=amus
  check "$architecture: repair brings the DLL back" cmp -s "$unpacked/$architecture/Pellmora.dll" "${folder[$architecture]}/Pellmora.dll"
  expect_examples "$architecture" "after the repair" vbs

  # 4: upgrade to the next version, built here from the same DLL.
  upgrade=$work/pellmora-$next-$architecture.msi
  python3 "$release_script" wxs --arch "$architecture" --version "$next" --dll "$architecture/Pellmora.dll" --out "$work/next.wxs" &&
    (cd "$unpacked" && wixl -a "$architecture" -o "$upgrade" "$work/next.wxs" >/dev/null 2>&1) &&
    python3 "$release_script" package-code "$upgrade"
  check "$architecture: the next version's package is built" test -f "$upgrade"
  check "$architecture: msiexec /i of the next version succeeds" msiexec "$architecture upgrade" /i "$(windows_path "$upgrade")"
  expect_same "$architecture: one product is left, the next version" "$next" "$(products "$architecture")"
  expect_same "$architecture: one file is left in the folder" "Pellmora.dll" "$(ls -A "${folder[$architecture]}" 2>&1)"
  expect_same "$architecture: the upgrade's entries are the first version's" "$installed" "$(snapshot)"
  expect_examples "$architecture" "after the upgrade" vbs

  # 5: uninstall.
  check "$architecture: msiexec /x /qn succeeds" msiexec "$architecture uninstall" /x "$(windows_path "$upgrade")"
  expect_same "$architecture: uninstalling leaves HKCR as before" "$clean" "$(snapshot)"
  check_not "$architecture: no folder of ours is left" test -e "${folder[$architecture]}"
  expect_same "$architecture: no product is left" "" "$(products "$architecture")"

  # 1: what regsvr32 writes for the same DLL, somewhere else.
  registered="$prefix/drive_c/Pellmora registered"
  mkdir -p "$registered"
  cp "$unpacked/$architecture/Pellmora.dll" "$registered/"
  check "$architecture: regsvr32 registers the release's DLL" on "$architecture" regsvr32 /s 'C:\Pellmora registered\Pellmora.dll'
  regsvr32_entries=$(added "$clean" "$(snapshot)" 'C:\Pellmora registered\')
  if [ "$architecture" == x86 ] && [ "$WINEARCH" == win64 ]; then
    # RegisterTypeLib in a 32-bit process on 64-bit Windows also writes the interfaces' keys of
    # the 64-bit view, which a 32-bit package cannot write (the x64 package writes them).
    regsvr32_entries=$(grep -v -i '^HKEY_LOCAL_MACHINE\\Software\\Classes\\Interface\\' <<<"$regsvr32_entries")
  fi
  # regsvr32 names the DLL's folder as the library's help folder; the packages, whose DLLs lie in
  # two folders while that key is one for both, leave it empty (the library has no help file).
  regsvr32_entries=$(grep -v -i -F "\\TypeLib\\$LIBID\\1.0\\HELPDIR|@|" <<<"$regsvr32_entries")
  expect_same "$architecture: the package writes what regsvr32 writes" "$regsvr32_entries" "$installer_entries"
  echo "$architecture registry: regsvr32 $(grep -c '|$' <<<"$regsvr32_entries") keys and" \
       "$(grep -c -v '|$' <<<"$regsvr32_entries") values, package $(grep -c '|$' <<<"$installer_entries") keys and" \
       "$(grep -c -v '|$' <<<"$installer_entries") values"
  check "$architecture: regsvr32 /u unregisters it" on "$architecture" regsvr32 /s /u 'C:\Pellmora registered\Pellmora.dll'
  rm -rf "$registered"

  # 6: the per-user package. Its entries are the per-machine package's, moved below
  # HKCU\Software\Classes (Wine 8 keeps that key without views: the per-machine entries are
  # compared with their views folded, and key names without regard to case, as the registry
  # compares them; the parents that Windows always has are left out).
  user_package=$(windows_path "$PELLMORA_RELEASE/pellmora-$PELLMORA_VERSION-$architecture-user.msi")
  user_folder=$user_programs/Pellmora/$architecture
  user_clean=$(user_snapshot)
  check "$architecture: msiexec /i /qn of the per-user package succeeds" msiexec "$architecture per-user install" /i "$user_package"
  user_installed=$(user_snapshot)
  expect_same "$architecture: the per-user package writes nothing below HKLM's classes" "$clean" "$(snapshot)"
  expect_same "$architecture: the per-user package writes the per-machine entries below HKCU\\Software\\Classes" \
    "$(sed -E 's/^HKEY_LOCAL_MACHINE\\/HKEY_CURRENT_USER\\/; s/\\Wow6432Node\\/\\/' <<<"$installer_entries" | key_case)" \
    "$(added "$user_clean" "$user_installed" "$user_programs_windows\\Pellmora\\$architecture\\" |
       grep -v -i -E '^HKEY_CURRENT_USER\\Software\\Classes(\\(AppID|CLSID|Interface|TypeLib))?\|$' | key_case)"
  # Read back as Windows reads them: the ProgID gives the class, the class the installed DLL, and
  # the class's type library the same file for this architecture.
  classes='HKEY_CURRENT_USER\Software\Classes'
  class=$(user_value "$classes\\$PROGID\\CLSID")
  expect_same "$architecture, per user: the ProgID names the class" "$CLSID" "$class"
  library=$(user_value "$classes\\CLSID\\$class\\TypeLib")
  for key in "CLSID\\$class\\InprocServer32" "TypeLib\\$library\\1.0\\0\\${platform[$architecture]}"; do
    check "$architecture, per user: $key names the installed DLL" \
      cmp -s "$unpacked/$architecture/Pellmora.dll" "$(unix_path "$(user_value "$classes\\$key")")"
  done
  rm -f "$user_folder/Pellmora.dll"
  check "$architecture: a repair of the per-user package succeeds" \
    msiexec "$architecture per-user repair" /i "$user_package" REINSTALL=ALL REINSTALLMODE=amus
  check "$architecture: repair brings the per-user DLL back" cmp -s "$unpacked/$architecture/Pellmora.dll" "$user_folder/Pellmora.dll"
  check "$architecture: msiexec /x of the per-user package succeeds" msiexec "$architecture per-user uninstall" /x "$user_package"
  expect_same "$architecture: uninstalling the per-user package leaves HKCU's classes as before" "$user_clean" "$(user_snapshot)"
  check_not "$architecture: no folder of ours is left in the user's programs folder" test -e "$user_programs/Pellmora"
done

# Side by side: removing one package leaves the other working, and the last one leaves nothing.
if [ "${#runnable[@]}" -eq 2 ]; then
  for architecture in x64 x86; do
    check "$architecture: installs beside the other" msiexec "$architecture install" /i \
      "$(windows_path "$PELLMORA_RELEASE/pellmora-$PELLMORA_VERSION-$architecture.msi")"
  done
  expect_examples x64 "beside the x86 package" vbs js
  expect_examples x86 "beside the x64 package" vbs js
  check "x64: msiexec /x beside the x86 package" msiexec "x64 uninstall" /x \
    "$(windows_path "$PELLMORA_RELEASE/pellmora-$PELLMORA_VERSION-x64.msi")"
  expect_examples x86 "after the x64 package is removed" vbs js client
  check "x86: msiexec /x after the x64 package" msiexec "x86 uninstall" /x \
    "$(windows_path "$PELLMORA_RELEASE/pellmora-$PELLMORA_VERSION-x86.msi")"
  expect_same "both removed: HKCR as before" "$clean" "$(snapshot)"
  for architecture in x64 x86; do
    check_not "$architecture: no folder of ours is left" test -e "${folder[$architecture]}"
  done
fi

printf 'timing: %s\n' "${timings[@]}"
echo "$checks checks, $failures failures"
[ "$failures" -eq 0 ]
