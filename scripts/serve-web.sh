#!/usr/bin/env bash
# Serves the browser version (built by scripts/web.sh into build-web/web, or
# the folder given) on a local port and prints the address to open. Any static
# web server would do: the page needs no special headers (the show's threads
# are fibers on the page's one thread, so no shared memory and no cross-origin
# isolation). Port: RIZA3V_PORT, default 8030. Stops with Ctrl+C.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build-web/web}
port=${RIZA3V_PORT:-8030}
if [ ! -f "$dir/index.html" ]; then
  echo "serve-web: no $dir/index.html: run scripts/web.sh first" >&2
  exit 1
fi
if [ ! -f "$dir/riza3v.js" ]; then
  echo "serve-web: $dir has the page but not the show's module (riza3v.js); the page will say so" >&2
fi
echo "serve-web: open http://127.0.0.1:$port/index.html (serving $dir)"
cd "$dir"
exec python3 -m http.server --bind 127.0.0.1 "$port"
