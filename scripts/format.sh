#!/usr/bin/env bash
# Formats the C++ sources tracked by git with clang-format and the style in
# .clang-format at the top of the tree. With --check it changes nothing, names
# every line that differs from the style and fails when there is any.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --check ]; then
  if ! clang-format --dry-run --Werror "${files[@]}"; then
    echo "formatting differs from .clang-format: run scripts/format.sh" >&2
    exit 1
  fi
else
  clang-format -i "${files[@]}"
fi
