#!/usr/bin/env bash
# Checks that a DLL can load on the oldest Windows it supports:
#  * every function it imports is on the allow-list, whose entries are functions that system
#    has (a new import then needs a conscious entry);
#  * the subsystem version in its PE header is not above that system's version.
#   check_imports.sh OBJDUMP DLL ALLOW_LIST MAX_SUBSYSTEM_VERSION
# Prints the imports that are not allowed and a summary line; fails on any finding.
set -euo pipefail
objdump=$1 dll=$2 allow_list=$3 max_version=$4

headers=$("$objdump" -p "$dll")

# "DLL Function" per import; an import by ordinal has no name and is listed as such, so that it
# can never match an entry.
imports=$(awk '
  /^\tDLL Name: / { dll = $3; next }
  /^$/ { dll = "" }
  dll != "" && /^\t[0-9a-f]+\t/ { if (NF >= 3) print dll, $NF; else print dll, "(by ordinal) " $NF }
' <<<"$headers" | LC_ALL=C sort -u)
allowed=$(grep -v -e '^#' -e '^$' "$allow_list" | LC_ALL=C sort -u)

failures=0
count=$(grep -c . <<<"$imports" || true)
if [ "$count" -eq 0 ]; then
  echo "FAIL: no imports found in $dll"
  failures=$((failures + 1))
fi
while read -r import; do
  [ -n "$import" ] || continue
  echo "FAIL: import not on the allow-list: $import"
  failures=$((failures + 1))
done < <(LC_ALL=C comm -23 <(echo "$imports") <(echo "$allowed"))

major=$(awk '$1 == "MajorSubsystemVersion" { print $2 }' <<<"$headers")
minor=$(awk '$1 == "MinorSubsystemVersion" { print $2 }' <<<"$headers")
if [ -z "$major" ] || [ -z "$minor" ]; then
  echo "FAIL: no subsystem version in the PE header"
  failures=$((failures + 1))
elif [ $((major * 100 + minor)) -gt $((${max_version%.*} * 100 + ${max_version#*.})) ]; then
  echo "FAIL: subsystem version $major.$minor is above $max_version"
  failures=$((failures + 1))
fi

echo "$count imports, subsystem version $major.$minor, $failures failures"
[ "$failures" -eq 0 ]
