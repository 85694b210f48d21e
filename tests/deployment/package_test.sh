#!/usr/bin/env bash
# The release package as a user meets it: unpacked into a fresh Wine prefix (run through
# in_fresh_prefix.sh; 64-bit when the package holds the 64-bit DLL), where, for each architecture:
#   1. nothing is registered, and the registration-free client, compiled from the package's
#      include folder alone, uses the DLL through the manifest beside it;
#   2. the example client compiles from the package's include folder alone;
#   3. regsvr32 registers the DLL from the package, with the manifest's identities;
#   4. the VBScript, JScript and C++ examples print the expected lines;
# and unregistering each DLL removes its class and leaves the other architecture's class. It also
# removes both ProgIDs, which 64-bit Windows 7 and later keep in one key for both views (Wine keeps
# a copy per view): the other DLL works by ProgID again once registered again, as README.txt says.
#
# The CTest entry sets PELLMORA_SOURCE, PELLMORA_PACKAGE (the zip), PELLMORA_ARCHITECTURES
# ("x86" or "x86 x64") and PELLMORA_WORK (a scratch folder of the test's own, holding the prefix);
# PELLMORA_RUN_ARCHITECTURES, when set, names the ones whose programs run in this prefix
# (in_prefixes.sh), all by default.
source "$(dirname "$0")/../selfreg/lib.sh"

here=$(cd "$(dirname "$0")" && pwd)
read -r -a packaged <<<"$PELLMORA_ARCHITECTURES"
read -r -a architectures <<<"${PELLMORA_RUN_ARCHITECTURES:-$PELLMORA_ARCHITECTURES}"
prefix=$WINEPREFIX

# Each architecture's programs run through its loader (lib.sh).
wine_run() { "$@" </dev/null; }
on() { local architecture=$1; shift; wine_run "$(loader "$architecture")" "$@"; }

# Unpacked where users put programs: a path with a blank.
install=$prefix/drive_c/Program\ Files/Pellmora
mkdir -p "$install"
if ! (cd "$install" && cmake -E tar xf "$PELLMORA_PACKAGE"); then
  fail "cannot unpack $PELLMORA_PACKAGE"
  echo "$checks checks, $failures failures"
  exit 1
fi
install_windows='C:\Program Files\Pellmora'

# manifest_attribute ARCHITECTURE ELEMENT ATTRIBUTE: one attribute of the manifest's element.
manifest_attribute() {
  tr -d '\r\n' <"$install/$1/Pellmora.manifest" |
    sed -E "s/.*<$2[^>]*[[:space:]]$3=\"([^\"]*)\".*/\\1/"
}

expected_files=(README.txt check-registration.js reference.md examples/connection_string.js examples/connection_string.vbs
                examples/early_bound_client.cpp include/pellmora_lib.h include/pellmora_lib_i.c)
for architecture in "${packaged[@]}"; do
  expected_files+=("$architecture/Pellmora.dll" "$architecture/Pellmora.manifest")
done
expected=$(printf '%s\n' "${expected_files[@]}" | LC_ALL=C sort)
actual=$(cd "$install" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [ "$expected" == "$actual" ]; then pass; else
  fail "the package holds other files than expected"
  diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /'
fi
check "README.txt has CR LF line ends" grep -q $'\r$' "$install/README.txt"

# Each folder holds a DLL of its own architecture, and its manifest says so.
for row in "x86 win32 x86" "x64 win64 amd64"; do
  read -r architecture platform manifest_name <<<"$row"
  [[ " ${packaged[*]} " == *" $architecture "* ]] || continue
  check "$architecture: Pellmora.dll is a $platform DLL" test "$(dll_platform "$install/$architecture/Pellmora.dll")" == "$platform"
  check "$architecture: the manifest names processor architecture $manifest_name" \
    test "$(manifest_attribute "$architecture" assemblyIdentity processorArchitecture)" == "$manifest_name"
done

compiler() { if [ "$1" == x64 ]; then echo x86_64-w64-mingw32-g++-posix; else echo i686-w64-mingw32-g++-posix; fi; }
# build ARCHITECTURE SOURCE EXE: compiles a client against the package's include folder alone.
build() {
  "$(compiler "$1")" -std=c++17 -O1 -static -I"$install/include" -o "$3" "$2" \
    -lole32 -loleaut32 -lshell32 -luuid 2>&1 | sed 's/^/    /'
  [ -f "$3" ]
}

# registry_value ARCHITECTURE KEY [NAME]: a string value, read through the architecture's view.
registry_value() {
  local name=(/ve)
  [ $# -gt 2 ] && name=(/v "$3")
  on "$1" reg query "$2" "${name[@]}" 2>/dev/null | tr -d '\r' | sed -n -E 's/^ +.*    REG_SZ    (.*)$/\1/p'
}

sample=$(tr -d '\r' <"$PELLMORA_SOURCE/tests/selfreg/example_sample.txt")
# expect_example NAME COMMAND...: the example prints the built-in sample's lines.
expect_example() {
  local name=$1 output; shift
  output=$("$@" 2>&1 | tr -d '\r')
  if [ "$output" == "$sample" ]; then pass; else
    fail "$name"
    diff <(echo "$sample") <(echo "$output") | sed 's/^/    /'
  fi
}

# 1 and 2: building the clients from include/ alone, and registration-free use before anything
# is registered.
for architecture in "${architectures[@]}"; do
  client=$PELLMORA_WORK/registration_free_client_$architecture.exe
  example=$PELLMORA_WORK/early_bound_client_$architecture.exe
  check "$architecture: the registration-free client builds from include/ alone" \
    build "$architecture" "$here/registration_free_client.cpp" "$client"
  check "$architecture: the example client builds from include/ alone" \
    build "$architecture" "$install/examples/early_bound_client.cpp" "$example"
  output=$(on "$architecture" "$client" "$install_windows\\$architecture\\Pellmora.manifest" 2>&1 | tr -d '\r')
  echo "$output" | sed "s/^/    $architecture registration-free: /"
  check "$architecture: registration-free use" grep -q '^[0-9]* checks, 0 failures$' <<<"$output"
done

# 3 and 4: registered from the package, one architecture after the other, so that each one's
# examples also run beside the other's registration.
for architecture in "${architectures[@]}"; do
  dll="$install_windows\\$architecture\\Pellmora.dll"
  check "$architecture: regsvr32 registers the packaged DLL" on "$architecture" regsvr32 /s "$dll"
  class_key="HKCR\\CLSID\\$(manifest_attribute "$architecture" comClass clsid)"
  check "$architecture: the class is registered where the package lies" \
    test "$(registry_value "$architecture" "$class_key\\InprocServer32")" == "$dll"
  check "$architecture: the manifest's threading model is the registered one" test \
    "$(registry_value "$architecture" "$class_key\\InprocServer32" ThreadingModel)" == \
    "$(manifest_attribute "$architecture" comClass threadingModel)"
  check "$architecture: the manifest's type library is the registered one" test \
    "$(registry_value "$architecture" "$class_key\\TypeLib")" == "$(manifest_attribute "$architecture" typelib tlbid)"
  progid=$(manifest_attribute "$architecture" comClass progid)
  check "$architecture: the manifest's ProgID names the registered class" test \
    "$(registry_value "$architecture" "HKCR\\$progid\\CLSID")" == "$(manifest_attribute "$architecture" comClass clsid)"
  check "$architecture: the manifest's version is the package's" test \
    "$(manifest_attribute "$architecture" assemblyIdentity version)" == "$(basename "$PELLMORA_PACKAGE" .zip | sed 's/^pellmora-//')"

  for script in vbs js; do
    expect_example "$architecture: the $script example" on "$architecture" cscript //nologo "$install_windows\\examples\\connection_string.$script"
  done
  expect_example "$architecture: the C++ example" on "$architecture" "$PELLMORA_WORK/early_bound_client_$architecture.exe"
done

# class_registered ARCHITECTURE: whether the architecture's registry view holds the class.
class_registered() { on "$1" reg query "HKCR\\CLSID\\$CLSID" >/dev/null 2>&1; }

# Unregistering one architecture leaves the other one's class; registered again (what Windows 7
# and later need after the shared ProgIDs went), it works; at the end nothing is left.
for architecture in "${architectures[@]}"; do
  dll="$install_windows\\$architecture\\Pellmora.dll"
  check "$architecture: regsvr32 /u unregisters the packaged DLL" on "$architecture" regsvr32 /s /u "$dll"
  check_not "$architecture: no class key is left" class_registered "$architecture"
  for other in "${architectures[@]}"; do
    [ "$other" == "$architecture" ] && continue
    if class_registered "$other"; then
      check "$other: regsvr32 registers the packaged DLL again after $architecture is unregistered" \
        on "$other" regsvr32 /s "$install_windows\\$other\\Pellmora.dll"
      expect_example "$other: the VBScript example after $architecture is unregistered" \
        on "$other" cscript //nologo "$install_windows\\examples\\connection_string.vbs"
    fi
  done
done

echo "$checks checks, $failures failures"
[ "$failures" -eq 0 ]
