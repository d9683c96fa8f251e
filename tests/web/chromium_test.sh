#!/usr/bin/env bash
# Usage: chromium_test.sh <driver.mjs> <folder of the page, in the browser build> [more arguments of the driver]
#
# Runs a driver of headless Chromium (tests/web/browser/chromium.mjs) on a
# page of the browser build. Where Chromium or Emscripten is not installed
# and CI is not set, the check is skipped (exit status 77).
set -euo pipefail
driver=$1
folder=$2
if ! command -v chromium >/dev/null || { [ ! -d "$folder" ] && ! command -v emcc >/dev/null; }; then
  if [ -z "${CI:-}" ]; then
    echo "skipped: Chromium or Emscripten is not installed; scripts/web.sh installs them"
    exit 77
  fi
  echo "chromium or the browser build is missing: run scripts/web.sh" >&2
  exit 1
fi
if [ ! -d "$folder" ]; then
  echo "no $folder: run scripts/web.sh" >&2
  exit 1
fi
# Node.js 20's WebSocket client is behind a flag.
shift 2
exec timeout 1000 node --experimental-websocket "$driver" "$(cd "$folder" && pwd)" "$@"
