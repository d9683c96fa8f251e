#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the show and the capture tool (not the
# tests or benchmarks) and runs the show from the repository top (it reads
# shaders/ from its working folder). Without a display it says so and renders
# the show to out/riza3v.mp4 with the capture tool instead, showing its
# progress; then the arguments go to the capture tool (for example --width
# 1280 --height 720 --fps 60).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
started=$SECONDS
"$top/scripts/setup.sh"
installed=$SECONDS

# The build's own output goes to a file; the terminal gets one line, and the
# file's last lines when the build fails.
build="$top/build"
mkdir -p "$build"
echo "building the show and the capture tool into build/ (the compiler's output: build/build.log)"
if ! { cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  cmake --build "$build" --parallel "$(nproc)" --target riza3v riza3v-capture; } >"$build/build.log" 2>&1; then
  tail -n 30 "$build/build.log"
  echo "the build failed; its whole output is in build/build.log"
  exit 1
fi
built=$SECONDS
cd "$top"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/app/riza3v" "$@"
fi

echo "no display found (DISPLAY and WAYLAND_DISPLAY are unset): rendering the show to a video instead."
out="$top/out"
status=0
# The capture writes into out/ here; its notes name this script as the way to run it again.
RIZA3V_RUN_COMMAND="$0" "$build/tools/riza3v-capture" "$@" || status=$?
captured=$SECONDS
if [ -f "$out/riza3v.mp4" ]; then
  echo "the video is out/riza3v.mp4 (the sound alone: out/riza3v.wav)."
  echo "watch it with any video player, for example: ffplay out/riza3v.mp4  or  mpv out/riza3v.mp4"
fi
if [ -f "$out/riza3v-storyboard.png" ]; then
  echo "a picture of the whole show: out/riza3v-storyboard.png (open it with any image viewer or web browser)"
fi
echo "took $((captured - started)) s: set-up $((installed - started)) s, build $((built - installed)) s," \
  "capture $((captured - built)) s"
exit "$status"
