#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds and runs the show from the
# repository top (the show reads shaders/ from its working folder). Without
# a display it says so and renders the show to out/riza3v.mp4 with the
# capture tool instead, showing its progress; then the arguments go to the
# capture tool (for example --width 640 --height 360 --fps 30).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build"
cd "$top"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$top/build/app/riza3v" "$@"
fi

echo "no display found (DISPLAY and WAYLAND_DISPLAY are unset): rendering the show to a video instead."
capture="$top/build/tools/riza3v-capture"
out="$top/out"
# Arguments go to the capture tool here: --width W --height H --fps N and so on.
status=0
"$capture" --out "$out" "$@" || status=$?
if [ -f "$out/riza3v.mp4" ]; then
  echo "the video is $out/riza3v.mp4 (the sound alone: $out/riza3v.wav)."
  echo "watch it with any video player, for example: ffplay $out/riza3v.mp4  or  mpv $out/riza3v.mp4"
fi
exit "$status"
