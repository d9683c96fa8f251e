#!/usr/bin/env bash
# Usage: match_desktop.sh <songgen> <xm2wav> <browser build folder> <desktop build folder>
#
# Writes the song with the desktop songgen and with the browser build's, and
# renders the whole song (69 s) to WAV with both xm2wav: the two song files and
# the two WAV files must be equal byte for byte, and so must the embedded
# shader code that each build assembled. The browser build's tools run
# under Node.js. Where Emscripten is not installed and CI is not set, the check
# is skipped (exit status 77) with a line that says so.
set -euo pipefail
songgen=$1
xm2wav=$2
web=$3
desktop=$4
web_songgen=$web/tools/songgen/songgen.js
web_xm2wav=$web/tools/xm2wav/xm2wav.js

if [ ! -f "$web_songgen" ] || [ ! -f "$web_xm2wav" ]; then
  if [ -z "${CI:-}" ] && ! command -v emcc >/dev/null; then
    echo "skipped: Emscripten is not installed; scripts/web.sh installs it and builds $web"
    exit 77
  fi
  echo "no browser build in $web (expected $web_songgen and $web_xm2wav): run scripts/web.sh" >&2
  exit 1
fi

for program in kRimVertexProgram kRimPixelProgram kFallbackVertexProgram kFallbackPixelProgram; do
  if ! cmp "$desktop/resources/shaders/$program.cpp" "$web/resources/shaders/$program.cpp"; then
    echo "the browser build assembles $program into other token code than the desktop build" >&2
    exit 1
  fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$songgen" "$tmp/desktop.xm"
node "$web_songgen" "$tmp/web.xm"
if ! cmp "$tmp/desktop.xm" "$tmp/web.xm"; then
  echo "the browser build writes another song than the desktop build" >&2
  exit 1
fi

"$xm2wav" "$tmp/desktop.xm" "$tmp/desktop.wav"
node "$web_xm2wav" "$tmp/desktop.xm" "$tmp/web.wav"
# 69 s at 44,100 frames of 4 bytes, after the 44-byte header.
expected=$((44 + 69 * 44100 * 4))
for f in desktop web; do
  size=$(stat -c %s "$tmp/$f.wav")
  if [ "$size" -ne "$expected" ]; then
    echo "$f.wav has $size bytes, not $expected" >&2
    exit 1
  fi
done
desktop_sum=$(sha256sum <"$tmp/desktop.wav" | cut -d' ' -f1)
web_sum=$(sha256sum <"$tmp/web.wav" | cut -d' ' -f1)
if [ "$desktop_sum" != "$web_sum" ]; then
  # cmp names the first byte that differs (counted from 1) and exits 1; say
  # which frame that is.
  first=$(cmp "$tmp/desktop.wav" "$tmp/web.wav" | sed -n 's/.* byte \([0-9]*\),.*/\1/p' || true)
  frame=$(((first - 1 - 44) / 4))
  echo "PCM differs: desktop $desktop_sum, browser $web_sum; first at frame $frame ($((frame / 44100)) s)" >&2
  exit 1
fi
echo "song and PCM equal: sha256 $web_sum"
