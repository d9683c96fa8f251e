#!/usr/bin/env bash
# The layering check catches what it is there to catch: builds a small tree
# with an upward include and a folder missing from the table, and expects the
# check to fail naming each file and line; a FreeType include is reported in
# tools/ except in the build-time picture generator; then the same tree made
# sound passes.
set -u
check=${1:?check_layering.sh}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/low" "$work/high" "$work/stray" "$work/tools/picgen" "$work/tools/texdump"
cat >"$work/table.txt" <<'TABLE'
low:
high: low
TABLE
printf '#include "low/a.h"\n' >"$work/high/b.cpp"
printf '// a\n#include <vector>\n#include "high/b.h"\n' >"$work/low/a.cpp"
printf '#include "low/a.h"\n' >"$work/stray/c.cpp"
printf '#include <ft2build.h>\n' >"$work/tools/picgen/glyphs.cpp"
printf '#include <ft2build.h>\n' >"$work/tools/texdump/dump.cpp"
fail=0
out=$(cd "$work" && bash "$check" . table.txt) && { echo "check passed an upward include"; fail=1; }
grep -q '^low/a.cpp:3: includes "high/b.h"' <<<"$out" || { echo "no file:line for the upward include:"; echo "$out"; fail=1; }
grep -q '^stray/c.cpp:1: .*no line' <<<"$out" || { echo "a folder missing from the table went unreported:"; echo "$out"; fail=1; }
grep -q '^tools/texdump/dump.cpp:1:' <<<"$out" || { echo "FreeType in tools/ went unreported:"; echo "$out"; fail=1; }
if grep -q 'tools/picgen' <<<"$out"; then echo "the picture generator's FreeType include was reported:"; echo "$out"; fail=1; fi
if grep -q 'high/b.cpp' <<<"$out"; then echo "an allowed include was reported:"; echo "$out"; fail=1; fi
rm "$work/low/a.cpp" "$work/stray/c.cpp" "$work/tools/texdump/dump.cpp"
out=$(cd "$work" && bash "$check" . table.txt) || { echo "a sound tree failed:"; echo "$out"; fail=1; }
exit $fail
