#!/usr/bin/env bash
# Checks that every repository path a C++ comment names ("see
# platform/d3d9/renderstates.cpp", "tools/capture/estimate.h", "shaders/")
# is in the tree: a file, a folder, a pattern such as app/scenes/scene*.cpp
# that matches, or a file named without its extension. A path counts as one
# when it starts with a top-level folder of the repository and is not inside
# another path (build/tools/... names the build tree, not tools/).
set -u
top=${1:?repository root}
cd "$top" || exit 2

mapfile -t files < <(git ls-files '*.cpp' '*.h')
folders=$(git ls-files | grep / | cut -d/ -f1 | sort -u | paste -sd'|')
status=0

# file:line:path for each path in the comment part of a line; sentence
# punctuation after a path is not part of it.
named_paths() {
  awk -v folders="$folders" '
    {
      at = index($0, "//")
      if (at == 0) next
      rest = " " substr($0, at + 2)
      pattern = "[^A-Za-z0-9_./-](" folders ")/[A-Za-z0-9_./*-]*"
      while (match(rest, pattern)) {
        path = substr(rest, RSTART + 1, RLENGTH - 1)
        sub(/[.,:;]+$/, "", path)
        print FILENAME ":" FNR ":" path
        rest = substr(rest, RSTART + RLENGTH)
      }
    }' "${files[@]}"
}

while IFS=: read -r file lineno path; do
  if [[ $path == *'*'* ]]; then
    compgen -G "$path" >/dev/null && continue
  elif [ -e "$path" ] || compgen -G "$path.*" >/dev/null; then
    continue
  fi
  echo "$file:$lineno: the comment names $path, which is not in the tree"
  status=1
done < <(named_paths)

[ $status -eq 0 ] && echo "comment paths ok"
exit $status
