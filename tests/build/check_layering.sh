#!/usr/bin/env bash
# Fails when code above platform/ includes a header of SDL, OpenGL, EGL,
# FreeType or fontconfig.
set -u
top=${1:?repository root}
cd "$top" || exit 2
pattern='#[[:space:]]*include[[:space:]]*[<"](SDL|GL/|GLES|EGL/|KHR/|ft2build|freetype|fontconfig|epoxy)'
hits=$(grep -rnE "$pattern" app dx music texgen geometry effects text tools 2>/dev/null || true)
if [ -n "$hits" ]; then
  echo "platform headers included above the platform layer:"
  echo "$hits"
  exit 1
fi
echo "layering ok"
