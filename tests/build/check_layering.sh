#!/usr/bin/env bash
# Checks the layering of the sources (tests and benchmarks aside):
# - nothing above platform/ includes a header of SDL, OpenGL, EGL, FreeType,
#   fontconfig or Emscripten (the build-time picture generator in tools/picgen
#   aside);
# - every include of another folder's header is an edge that the table in
#   include_edges.txt allows, so an upward include fails with its file and line.
set -u
top=${1:?repository root}
table=${2:-$(dirname "$0")/include_edges.txt}
cd "$top" || exit 2
status=0

pattern='#[[:space:]]*include[[:space:]]*[<"](SDL|GL/|GLES|EGL/|KHR/|ft2build|freetype|fontconfig|epoxy|emscripten)'
# tools/picgen draws the embedded pictures' letters with FreeType while the
# project is built; it is a build tool, never part of the show.
hits=$(grep -rnE "$pattern" app dx music texgen geometry effects text tools debuglog errors web 2>/dev/null |
  grep -v '^tools/picgen/' || true)
if [ -n "$hits" ]; then
  echo "platform headers included above the platform layer:"
  echo "$hits"
  status=1
fi

declare -A allowed
while IFS= read -r line; do
  line=${line%%#*}
  [[ $line == *:* ]] || continue
  allowed[${line%%:*}]=" ${line#*:} "
done <"$table"

source_files() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files --cached --others --exclude-standard '*.cpp' '*.h'
  else
    find . -name '*.cpp' -o -name '*.h' | sed 's#^\./##'
  fi | grep -vE '^(tests|bench|build[^/]*)/' | sort
}

permits() { # folder, included folder
  local entry
  [ -n "${allowed[$1]+set}" ] || return 1
  for entry in ${allowed[$1]}; do
    # shellcheck disable=SC2053
    if [[ $2 == "$entry" || ($entry == */\* && $2 == ${entry%/\*}/*) ]]; then
      return 0
    fi
  done
  return 1
}

while IFS= read -r file; do
  from=$(dirname "$file")
  while IFS=: read -r lineno text; do
    inc=$(sed -E 's/.*"([^"]+)".*/\1/' <<<"$text")
    to=$(dirname "$inc")
    [ "$to" = "$from" ] && continue
    if ! permits "$from" "$to"; then
      if [ -n "${allowed[$from]+set}" ]; then
        echo "$file:$lineno: includes \"$inc\" but $from/ may include only from: $(echo ${allowed[$from]})"
      else
        echo "$file:$lineno: includes \"$inc\" but $from/ has no line in $(basename "$table")"
      fi
      status=1
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+/[^"]+"' "$file")
done < <(source_files)

[ $status -eq 0 ] && echo "layering ok"
exit $status
