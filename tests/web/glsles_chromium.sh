#!/usr/bin/env bash
# Usage: glsles_chromium.sh <esprograms_js> <source dir>
#
# Writes the GLSL ES form of the layer's programs and has headless Chromium
# compile and link every one in WebGL 2 (SwiftShader where there is no GPU):
# the page must report all of them compiled. Where Chromium is not installed
# and CI is not set, the check is skipped (exit status 77) with a line that
# says so.
set -euo pipefail
writer=$1
source_dir=$2
page=$(dirname "$0")/glsles.html

if ! command -v chromium >/dev/null; then
  if [ -z "${CI:-}" ]; then
    echo "skipped: Chromium is not installed; scripts/web.sh installs it"
    exit 77
  fi
  echo "chromium is not installed: run scripts/web.sh" >&2
  exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$writer" "$source_dir" "$tmp/programs.js"
cp "$page" "$tmp/index.html"
count=$(grep -c '^  {name: ' "$tmp/programs.js")
timeout 120 chromium --headless=new --no-sandbox --enable-unsafe-swiftshader --user-data-dir="$tmp/profile" \
  --dump-dom "file://$tmp/index.html" >"$tmp/dom.html" 2>"$tmp/chromium.log" || true
if ! grep -q "riza3v-glsl: ok $count\b" "$tmp/dom.html"; then
  echo "WebGL 2 did not compile and link all $count programs:" >&2
  sed -e 's/<[^>]*>//g' "$tmp/dom.html" >&2
  exit 1
fi
echo "WebGL 2 compiled and linked $count programs"
