# Shared helpers of the self-registration tests: run Wine in the build's private prefix, read
# registry subtrees back as plain lines, compare them and count failures.
#
# The test's CTest entry sets PELLMORA_SOURCE (source tree), PELLMORA_PREFIX (Wine prefix),
# PELLMORA_DLL (the built DLL) and PELLMORA_WORK (a scratch folder of the test's own).
set -uo pipefail

CLSID='{2CE7C78C-4E98-4491-9DDD-6B8D554A3FE7}'
APPID='{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}'
LIBID='{0711ED4D-9539-48E2-86EB-7DF50B8DD3F0}'
IID='{294A5F58-E9B5-4D11-AA55-9C92453DEC6A}'
PROGID='Vantelby.ConStringHelper'
ROOT='HKEY_CLASSES_ROOT'

failures=0
checks=0

# The platform key a type library of the DLL under test registers under: win64 for an x86-64
# DLL, win32 for an i386 one (read from the machine field of its PE header).
dll_platform() {
  local pe machine
  pe=$(od -An -tu4 -j 60 -N4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j $((pe + 4)) -N2 "$1" | tr -d ' ')
  if [ "$machine" = 8664 ]; then echo win64; else echo win32; fi
}
PLATFORM=$(dll_platform "$PELLMORA_DLL")

wine_run() { "$PELLMORA_SOURCE/scripts/wine-env.sh" "$PELLMORA_PREFIX" run "$@" </dev/null; }

# The loader of a release architecture's programs (x86 or x64): the 64-bit one for x64, "wine"
# (in a 64-bit prefix the 32-bit loader; where needed, the i386 root's stand-in) for x86.
loader() { if [ "$1" == x64 ]; then echo /usr/lib/wine/wine64; else echo wine; fi; }

# The Windows form of a Unix path.
windows_path() { wine_run winepath -w "$1" 2>/dev/null; }

# regsvr32 with the given switches and DLL (a Windows path); its exit status.
regsvr() { wine_run wine regsvr32 "$@" >/dev/null 2>&1; }

pass() { checks=$((checks + 1)); }
fail() { checks=$((checks + 1)); failures=$((failures + 1)); echo "FAIL: $*"; }

# check NAME COMMAND...: COMMAND must succeed.
check() {
  local name=$1; shift
  if "$@"; then pass; else fail "$name"; fi
}

# check_not NAME COMMAND...: COMMAND must fail.
check_not() {
  local name=$1; shift
  if "$@"; then fail "$name"; else pass; fi
}

# key_exists KEY: whether the registry key exists.
key_exists() { wine_run wine reg query "$1" >/dev/null 2>&1; }

# dump_tree KEY: every key and value of KEY's subtree, one line each, sorted:
#   KEY|            for a key,
#   KEY|NAME|DATA   for a value, NAME "@" for the key's unnamed value; string data unescaped,
#                   other types as the export writes them (so that they never match a string).
# Prints nothing when KEY does not exist.
dump_tree() {
  local file="$PELLMORA_WORK/export.reg"
  rm -f "$file"
  wine_run wine reg export "$1" "$(windows_path "$file")" /y >/dev/null 2>&1 || return 0
  iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r' | awk '
    /^\[.*\]$/ { key = substr($0, 2, length($0) - 2); print key "|"; next }
    /^(@|").*=/ {
      if (substr($0, 1, 1) == "@") { name = "@"; rest = substr($0, 3) }
      else {
        # a quoted name: find its closing quote, skipping escaped characters
        i = 2; name = ""
        while (i <= length($0)) {
          c = substr($0, i, 1)
          if (c == "\\") { name = name substr($0, i + 1, 1); i += 2; continue }
          if (c == "\"") break
          name = name c; i++
        }
        rest = substr($0, i + 2)
      }
      if (rest ~ /^".*"$/) {
        data = substr(rest, 2, length(rest) - 2)
        out = ""
        for (i = 1; i <= length(data); i++) {
          c = substr(data, i, 1)
          if (c == "\\") { i++; c = substr(data, i, 1) }
          out = out c
        }
        data = out
      } else data = rest
      print key "|" name "|" data
    }' | LC_ALL=C sort
}

# expect_tree NAME KEY: KEY's subtree must hold exactly the lines on standard input (any order).
expect_tree() {
  local name=$1 key=$2 expected actual
  expected=$(LC_ALL=C sort)
  actual=$(dump_tree "$key")
  if [ "$expected" == "$actual" ]; then
    pass
  else
    fail "$name: $key differs from what is expected"
    diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /'
  fi
}

# expect_value NAME KEY VALUE DATA: one value (VALUE "@" for the unnamed one) must hold DATA.
expect_value() {
  local name=$1 key=$2 value=$3 data=$4 actual
  # Through the environment: awk would read backslashes in -v assignments as escapes.
  actual=$(dump_tree "$key" | KEY=$key VALUE=$value awk -F'|' '
    toupper($1) == toupper(ENVIRON["KEY"]) && NF >= 3 && toupper($2) == toupper(ENVIRON["VALUE"]) {
      print substr($0, length($1) + length($2) + 3) }')
  if [ "$actual" == "$data" ]; then pass; else fail "$name: $key [$value] is '$actual', expected '$data'"; fi
}

# The subtrees that registration writes. Removing them puts the prefix back to a clean state
# whatever an earlier test or run left behind.
our_keys() {
  echo "$ROOT\\AppID\\$APPID"
  echo "$ROOT\\AppID\\Pellmora.DLL"
  echo "$ROOT\\$PROGID.1"
  echo "$ROOT\\$PROGID"
  echo "$ROOT\\CLSID\\$CLSID"
  echo "$ROOT\\TypeLib\\$LIBID"
  echo "$ROOT\\Interface\\$IID"
}

clean_registry() {
  local key
  while read -r key; do wine_run wine reg delete "$key" /f >/dev/null 2>&1 || true; done < <(our_keys)
}

# expect_clean NAME: none of the subtrees is left, while AppID and CLSID themselves stay.
expect_clean() {
  local key
  while read -r key; do
    check_not "$1: $key is left" key_exists "$key"
  done < <(our_keys)
  check "$1: AppID is kept" key_exists "$ROOT\\AppID"
  check "$1: CLSID is kept" key_exists "$ROOT\\CLSID"
}

# begin: fresh scratch folder and clean registry; finish: clean up and print the summary line that
# the CTest entry looks for.
begin() {
  rm -rf "$PELLMORA_WORK"
  mkdir -p "$PELLMORA_WORK"
  clean_registry
}

finish() {
  clean_registry
  echo "$checks checks, $failures failures"
  [ "$failures" -eq 0 ]
}
