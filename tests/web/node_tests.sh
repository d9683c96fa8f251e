#!/usr/bin/env bash
# Usage: node_tests.sh <browser build folder> <program, relative to it> [arguments]
#        node_tests.sh <browser build folder> <program> --compare <desktop program>
#
# Runs one of the browser backend's programs (tests/web/node, compiled by
# scripts/web.sh) under Node.js; with --compare, runs the desktop build of the
# same program too and requires the two outputs to be equal. Where Emscripten
# is not installed and CI is not set, the check is skipped (exit status 77).
set -euo pipefail
web=$1
program=$web/$2
shift 2
if [ ! -f "$program" ]; then
  if [ -z "${CI:-}" ] && ! command -v emcc >/dev/null; then
    echo "skipped: Emscripten is not installed; scripts/web.sh installs it and builds $web"
    exit 77
  fi
  echo "no $program: run scripts/web.sh" >&2
  exit 1
fi
if [ "${1:-}" != "--compare" ]; then
  cd "$(dirname "$program")"
  exec node "$(basename "$program")" "$@"
fi
desktop=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$desktop" >"$tmp/desktop.txt"
(cd "$(dirname "$program")" && node "$(basename "$program")") >"$tmp/web.txt"
if ! cmp -s "$tmp/desktop.txt" "$tmp/web.txt"; then
  echo "the browser build's output differs from the desktop build's:" >&2
  diff "$tmp/desktop.txt" "$tmp/web.txt" | cut -c1-160 | head -n 20 >&2
  exit 1
fi
echo "equal: $(head -n 4 "$tmp/web.txt" | tr '\n' ';')"
