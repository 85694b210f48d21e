#!/usr/bin/env bash
# Runs a test of the release in fresh prefixes (in_fresh_prefix.sh):
#   in_prefixes.sh WINEARCH WORK COMMAND...     (with the environment the test reads)
# A release with both DLLs is tried in one 64-bit prefix, where this machine runs both kinds of
# Wine program side by side. Where the 32-bit programs run in the emulated i386 root instead
# (scripts/wine-path.sh), which starts no 64-bit program, each architecture gets a prefix of its
# own: x64 a 64-bit one on this machine, x86 a 32-bit one in the root. The test then sees its one
# architecture in PELLMORA_RUN_ARCHITECTURES; only its checks that need both in one prefix (one
# architecture's removal leaves the other working) are left out.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
winearch=$1 work=$2
shift 2
source "$here/../../scripts/wine-path.sh"
read -r -a architectures <<<"$PELLMORA_ARCHITECTURES"
if [ "$winearch" == win32 ] || [ "${#architectures[@]}" -eq 1 ] || ! wine32_in_root; then
  exec "$here/in_fresh_prefix.sh" "$winearch" "$work" "$@"
fi
status=0
for row in "x64 win64" "x86 win32"; do
  read -r architecture arch <<<"$row"
  echo "=== $architecture, in a $arch prefix of its own"
  PELLMORA_RUN_ARCHITECTURES=$architecture PELLMORA_WORK=$work/$architecture \
    "$here/in_fresh_prefix.sh" "$arch" "$work/$architecture" "$@" ||
    { echo "FAIL: the test of $architecture failed"; status=1; }
done
exit $status
