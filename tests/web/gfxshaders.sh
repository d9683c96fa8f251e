#!/usr/bin/env bash
# Usage: gfxshaders.sh <gfxshaders> <browser build folder> <source dir>
#
# The desktop gfxshaders and the browser build's (under Node.js) must write
# the same assembly of the show's four shader files. Where Emscripten is not
# installed and CI is not set, the check is skipped (exit status 77).
set -euo pipefail
desktop=$1
web=$2/tests/web/gfxshaders.js
source_dir=$3

if [ ! -f "$web" ]; then
  if [ -z "${CI:-}" ] && ! command -v emcc >/dev/null; then
    echo "skipped: Emscripten is not installed; scripts/web.sh installs it and builds $2"
    exit 77
  fi
  echo "no browser build of gfxshaders ($web): run scripts/web.sh" >&2
  exit 1
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$desktop" "$source_dir" >"$tmp/desktop.asm"
node "$web" "$source_dir" >"$tmp/web.asm"
if ! diff "$tmp/desktop.asm" "$tmp/web.asm" >&2; then
  echo "the browser build compiles the shader files into other assembly than the desktop build" >&2
  exit 1
fi
echo "shader assembly equal: $(grep -c '' "$tmp/web.asm") lines, $(grep -c '^def ' "$tmp/web.asm") def lines"
