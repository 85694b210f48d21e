#!/usr/bin/env bash
# The examples against the registered DLL: the VBScript and JScript examples and the early-bound
# C++ client print the same lines, for the built-in sample (checked against example_sample.txt)
# and for a connection string passed as argument, quotes and blanks included.
source "$(dirname "$0")/lib.sh"
begin

here=$(dirname "$0")
dll=$(windows_path "$PELLMORA_DLL")
check "regsvr32 /s succeeds" regsvr /s "$dll"

# run_example NAME [ARGUMENT]: the example's output, without the CR of its line ends.
run_example() {
  local name=$1; shift
  case "$name" in
    vbs | js) wine_run wine cscript //nologo "$(windows_path "$PELLMORA_SOURCE/examples/connection_string.$name")" "$@" ;;
    client) wine_run wine "$PELLMORA_EXAMPLE_CLIENT" "$@" ;;
  esac 2>&1 | tr -d '\r'
}

# expect_output NAME EXPECTED ACTUAL
expect_output() {
  if [ "$2" == "$3" ]; then pass; else fail "$1"; diff <(echo "$2") <(echo "$3") | sed 's/^/    /'; fi
}

sample=$(tr -d '\r' <"$here/example_sample.txt")
argument='Server=c d;Database="a;b";UID=it'"'"'s;PWD=x}y;Current Language=deutsch;Provider=p'
from_argument=$(cat <<'EOF'
Connection string: Server=c d;Database="a;b";UID=it's;PWD=x}y;Current Language=deutsch;Provider=p
parse:             True

UID:               it's
PassWord:          x}y
Catalog:           a;b
DataSource:        c d
Timeout:           
CurrentLanguage:   deutsch
Provider:          p

ODBCString:        driver={SQL Server};Server={c d};UID={it's};PWD={x}}y};Database={a;b};Language={deutsch};
OleDBString:       Provider=SQLOLEDB;uid='it''s';pwd=x}y;server=c d;database="a;b";Current Language=deutsch;
OleDBString2:      PROVIDER=SQLOLEDB;data source=c d;initial catalog="a;b";user id='it''s';password=x}y;Current Language=deutsch;
EOF
)

for example in vbs js client; do
  expect_output "$example example on the built-in sample" "$sample" "$(run_example "$example")"
  expect_output "$example example on an argument" "$from_argument" "$(run_example "$example" "$argument")"
done

check "regsvr32 /u succeeds" regsvr /s /u "$dll"
check_not "the VBScript example fails without registration" run_example vbs
output=$(run_example vbs)
check "and says why" grep -q 'cannot create Vantelby.ConStringHelper' <<<"$output"

finish
