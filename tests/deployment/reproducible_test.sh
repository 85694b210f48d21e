#!/usr/bin/env bash
# The release is reproducible: a second build of the same sources in another folder, later, by
# scripts/package.sh gives the same bytes as the release the test command made (build/), file for
# file of SHA256SUMS (unsigned: a signature holds its signing time).
#
# The CTest entry sets PELLMORA_SOURCE, PELLMORA_RELEASE and PELLMORA_WORK.
source "$(dirname "$0")/../selfreg/lib.sh"

copy=$PELLMORA_WORK/source
rm -rf "$PELLMORA_WORK"
mkdir -p "$copy"
# The sources as they are (committed or not), without any build. The copy has no history: it gets
# the time the first build took from the last commit (scripts/package.sh does the same).
if git -C "$PELLMORA_SOURCE" rev-parse --git-dir >/dev/null 2>&1; then
  (cd "$PELLMORA_SOURCE" && git ls-files -z -c -o --exclude-standard | xargs -0 cp --parents -t "$copy")
  SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$PELLMORA_SOURCE" log -1 --format=%ct)}
else
  tar -C "$PELLMORA_SOURCE" --exclude=./build -cf - . | tar -C "$copy" -xf -
  SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-0}
fi
export SOURCE_DATE_EPOCH

start=$(date +%s)
check "the second build makes the release" env PELLMORA_NO_BOOTSTRAP=1 "$copy/scripts/package.sh" >/dev/null
echo "the second build took $(( $(date +%s) - start )) s"

echo "first build ($PELLMORA_RELEASE):"
sed 's/^/    /' "$PELLMORA_RELEASE/SHA256SUMS"
echo "second build ($copy/build):"
sed 's/^/    /' "$copy/build/SHA256SUMS"
check "SHA256SUMS lists the release's files" bash -c "cd '$PELLMORA_RELEASE' && sha256sum --quiet -c SHA256SUMS"
while read -r _ name; do
  check "$name is the same, byte for byte" cmp "$PELLMORA_RELEASE/$name" "$copy/build/$name"
done <"$PELLMORA_RELEASE/SHA256SUMS"
check "both list the same files" diff "$PELLMORA_RELEASE/SHA256SUMS" "$copy/build/SHA256SUMS"

# The second build stays for a look when it differs.
[ "$failures" -eq 0 ] && rm -rf "$copy"
echo "$checks checks, $failures failures"
[ "$failures" -eq 0 ]
