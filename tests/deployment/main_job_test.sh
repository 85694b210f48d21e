#!/usr/bin/env bash
# The main job (scripts/run-example.sh) end to end in a fresh prefix (run through
# in_fresh_prefix.sh): it registers the DLL and runs the VBScript example, and every character of
# a connection string from outside any one code page comes out exactly, in UTF-8. The JScript
# example writes the same lines into its output file.
#
# The CTest entry sets PELLMORA_SOURCE and PELLMORA_MAIN_JOB_OPTIONS ("" or "--x64").
source "$(dirname "$0")/../selfreg/lib.sh"
wine_run() { "$@" </dev/null; }
read -r -a options <<<"${PELLMORA_MAIN_JOB_OPTIONS:-}"
loader=wine
[ "${options[*]:-}" == --x64 ] && loader=/usr/lib/wine/wine64

argument="Server=数据库01;Database='it''s';UID=Zoë;PWD=𝄞;Current Language=français"
expected=$(cat <<'LINES'
Connection string: Server=数据库01;Database='it''s';UID=Zoë;PWD=𝄞;Current Language=français
parse:             True

UID:               Zoë
PassWord:          𝄞
Catalog:           it's
DataSource:        数据库01
Timeout:           
CurrentLanguage:   français
Provider:          

ODBCString:        driver={SQL Server};Server={数据库01};UID={Zoë};PWD={𝄞};Database={it's};Language={français};
OleDBString:       Provider=SQLOLEDB;uid=Zoë;pwd=𝄞;server=数据库01;database='it''s';Current Language=français;
OleDBString2:      PROVIDER=SQLOLEDB;data source=数据库01;initial catalog='it''s';user id=Zoë;password=𝄞;Current Language=français;
LINES
)

# expect_output NAME EXPECTED ACTUAL
expect_output() {
  if [ "$2" == "$3" ]; then pass; else fail "$1"; diff <(echo "$2") <(echo "$3") | sed 's/^/    /'; fi
}

# The main job starts and stops the prefix's wineserver itself.
wineserver -k 2>/dev/null
output=$(PELLMORA_EXAMPLE_PREFIX=$WINEPREFIX "$PELLMORA_SOURCE/scripts/run-example.sh" "${options[@]}" "$argument" 2>/dev/null)
check "the main job succeeds" test $? -eq 0
expect_output "the main job shows every character" "$expected" "$output"

# The main job left the DLL registered (and stopped the prefix's wineserver: start it again, warm,
# so that no Wine service process holds on to the test's output).
wineserver -p </dev/null >/dev/null 2>&1
"$loader" cmd /c exit 0 </dev/null >/dev/null 2>&1
# The JScript example, with its output file.
file=$WINEPREFIX/drive_c/example-output.txt
"$loader" cscript //nologo "$("$loader" winepath -w "$PELLMORA_SOURCE/examples/connection_string.js" </dev/null)" \
  '/out:C:\example-output.txt' "$argument" </dev/null
check "the JScript example succeeds" test $? -eq 0
expect_output "the JScript example writes every character" "$expected" "$(iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r')"

echo "$checks checks, $failures failures"
[ "$failures" -eq 0 ]
