# The registry entries registration must write, as dump_tree lines (see lib.sh). Sourced by the
# tests after lib.sh.

# expect_script_entries NAME LIBRARY: the entries of both registration scripts, exactly, for the
# library at the Windows path LIBRARY.
expect_script_entries() {
  local name=$1 library=$2
  expect_tree "$name" "$ROOT\\AppID\\$APPID" <<EOF
$ROOT\\AppID\\$APPID|
$ROOT\\AppID\\$APPID|@|$PROGID
EOF
  expect_tree "$name" "$ROOT\\AppID\\Pellmora.DLL" <<EOF
$ROOT\\AppID\\Pellmora.DLL|
$ROOT\\AppID\\Pellmora.DLL|AppID|$APPID
EOF
  expect_tree "$name" "$ROOT\\$PROGID.1" <<EOF
$ROOT\\$PROGID.1|
$ROOT\\$PROGID.1|@|ConnectionString Class
$ROOT\\$PROGID.1\\CLSID|
$ROOT\\$PROGID.1\\CLSID|@|$CLSID
EOF
  expect_tree "$name" "$ROOT\\$PROGID" <<EOF
$ROOT\\$PROGID|
$ROOT\\$PROGID|@|ConnectionString Class
$ROOT\\$PROGID\\CLSID|
$ROOT\\$PROGID\\CLSID|@|$CLSID
$ROOT\\$PROGID\\CurVer|
$ROOT\\$PROGID\\CurVer|@|$PROGID.1
EOF
  expect_tree "$name" "$ROOT\\CLSID\\$CLSID" <<EOF
$ROOT\\CLSID\\$CLSID|
$ROOT\\CLSID\\$CLSID|@|ConnectionString Class
$ROOT\\CLSID\\$CLSID|AppID|$APPID
$ROOT\\CLSID\\$CLSID\\ProgID|
$ROOT\\CLSID\\$CLSID\\ProgID|@|$PROGID.1
$ROOT\\CLSID\\$CLSID\\VersionIndependentProgID|
$ROOT\\CLSID\\$CLSID\\VersionIndependentProgID|@|$PROGID
$ROOT\\CLSID\\$CLSID\\Programmable|
$ROOT\\CLSID\\$CLSID\\InprocServer32|
$ROOT\\CLSID\\$CLSID\\InprocServer32|@|$library
$ROOT\\CLSID\\$CLSID\\InprocServer32|ThreadingModel|Apartment
$ROOT\\CLSID\\$CLSID\\TypeLib|
$ROOT\\CLSID\\$CLSID\\TypeLib|@|$LIBID
EOF
}

# expect_type_library NAME PATH: the type library is registered from the Windows path PATH, with
# the folder of PATH (and its trailing backslash) as help directory.
expect_type_library() {
  local name=$1 path=$2
  expect_value "$name: type library path" "$ROOT\\TypeLib\\$LIBID\\1.0\\0\\$PLATFORM" @ "$path"
  expect_value "$name: help directory" "$ROOT\\TypeLib\\$LIBID\\1.0\\HELPDIR" @ "${path%\\*}\\"
  expect_value "$name: interface's type library" "$ROOT\\Interface\\$IID\\TypeLib" @ "$LIBID"
}
