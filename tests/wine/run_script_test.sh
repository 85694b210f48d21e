#!/usr/bin/env bash
# Runs one script test under cscript in the build's Wine prefix, with the DLL registered by hand
# for the run and removed again afterwards:
#   run_script_test.sh WINE_ENV_SH PREFIX REGISTRATION_EXE SCRIPT
# Passes only when the script printed its summary with 0 failures and exited 0 (Wine's cscript
# exits 0 on script errors, so the summary line is the real verdict).
set -uo pipefail
wine_env=$1 prefix=$2 registration=$3 script=$4

run() { "$wine_env" "$prefix" run "$@"; }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

if ! run wine "$registration" register </dev/null; then
  echo "could not register the DLL for the script test" >&2
  run wine "$registration" unregister </dev/null
  exit 1
fi
output=$(run wine cscript //nologo "$(windows_path "$script")" </dev/null 2>&1)
status=$?
run wine "$registration" unregister </dev/null || { echo "could not remove the registration" >&2; status=1; }

output=${output//$'\r'/}
printf '%s\n' "$output"
summary=$(printf '%s\n' "$output" | grep -E '^SUMMARY: ' | tail -n 1)
if [[ $status -ne 0 || ! $summary =~ ^SUMMARY:\ [1-9][0-9]*\ passed,\ 0\ failed$ ]]; then
  echo "script test failed (exit status $status, summary: ${summary:-none})" >&2
  exit 1
fi
