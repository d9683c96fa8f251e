#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds and runs the show from the
# repository top (the show reads shaders/ from its working folder). Without
# a display it says so and renders the show to a video with the capture tool
# instead, where that tool has been built.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build"
cd "$top"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$top/build/app/riza3v" "$@"
fi

echo "no display found (DISPLAY and WAYLAND_DISPLAY are unset)."
capture="$top/build/tools/riza3v-capture"
if [ -x "$capture" ]; then
  out="$top/out"
  echo "rendering the show to $out instead, with $capture"
  exec "$capture" --out "$out"
fi
echo "the capture tool is not built yet; running the show's entry point, which has no display to use."
exec "$top/build/app/riza3v" "$@"
