#!/usr/bin/env bash
# Usage: gfxscenes.sh <gfxscenes> <browser build folder> [png folder]
#
# Runs gfxscenes on the desktop (OpenGL, EGL) and the browser build's in
# headless Chromium (WebGL 2 on SwiftShader), which writes its scenes into
# the page, and compares the two with gfxcompare.js. Where Chromium or the
# browser build's Emscripten is not installed and CI is not set, the check is
# skipped (exit status 77) with a line that says so.
set -euo pipefail
desktop=$1
web=$2/tests/web/gfxscenes.js
pngs=${3:-}
here=$(cd "$(dirname "$0")" && pwd)

skip_or_fail() {
  if [ -z "${CI:-}" ]; then
    echo "skipped: $1; scripts/web.sh installs it"
    exit 77
  fi
  echo "$1: run scripts/web.sh" >&2
  exit 1
}
command -v chromium >/dev/null || skip_or_fail "Chromium is not installed"
if [ ! -f "$web" ]; then
  command -v emcc >/dev/null || skip_or_fail "Emscripten is not installed"
  echo "no browser build of gfxscenes ($web): run scripts/web.sh" >&2
  exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$desktop" >"$tmp/desktop.txt"
cp "$here/gfxscenes.html" "$tmp/index.html"
cp "$web" "$tmp/"
timeout 120 chromium --headless=new --no-sandbox --enable-unsafe-swiftshader --user-data-dir="$tmp/profile" \
  --dump-dom "file://$tmp/index.html" >"$tmp/dom.html" 2>"$tmp/chromium.log" || true
sed -n 's/^<pre id="out">//; /^scene \|^gfxscenes: \|^stderr: \|^error: /p' "$tmp/dom.html" >"$tmp/browser.txt"
if ! grep -q '^gfxscenes: done' "$tmp/browser.txt"; then
  echo "the browser build of gfxscenes did not finish:" >&2
  grep -v '^scene ' "$tmp/browser.txt" >&2 || true
  grep -i 'webgl\|error' "$tmp/chromium.log" | grep -v dbus >&2 || true
  exit 1
fi
node "$here/gfxcompare.js" "$tmp/desktop.txt" "$tmp/browser.txt" ${pngs:+"$pngs"}
