#!/usr/bin/env bash
# Every C++ file under src/, tests/, bench/ and examples/ is laid out as .clang-format says.
#   clang_format_test.sh SOURCE_DIR
# First makes sure the check can fail at all: a misformatted line in a file of its own must be
# reported (a missing .clang-format or a clang-format that ignores it would pass everything).
set -uo pipefail
source_dir=$1
cd "$source_dir" || exit 1
failures=0

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
cp .clang-format "$probe/"
printf 'int  Probe( int value ){return value;}\n' >"$probe/probe.cpp"
if clang-format --dry-run --Werror "$probe/probe.cpp" >/dev/null 2>&1; then
  echo "FAIL: clang-format accepts a misformatted line: the check cannot fail"
  failures=$((failures + 1))
fi

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' \
                         'examples/*.cpp' 'examples/*.h')
else
  mapfile -t files < <(find src tests bench examples \( -name '*.cpp' -o -name '*.h' \) | LC_ALL=C sort)
fi
# One run over every file; only when it finds something, each file again to name it.
if ! clang-format --dry-run --Werror "${files[@]}" >/dev/null 2>&1; then
  for file in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
      echo "FAIL: $file is not formatted as .clang-format says; clang-format would change:"
      clang-format "$file" | diff "$file" - | head -n 20 | sed 's/^/    /'
      failures=$((failures + 1))
    fi
  done
fi
echo "${#files[@]} files, $failures failures"
[ "$failures" -eq 0 ]
