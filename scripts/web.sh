#!/usr/bin/env bash
# Builds the browser version into build-web/ (or the folder given): installs
# Emscripten from Debian when it is missing, compiles FreeType from Debian's
# source package with it once (into build-web/deps/), then configures the tree
# with the web platform backend and builds it. Each step says how long it took.
# Runs at a lower priority (nice) so that a shared machine stays responsive.
# Needs root (or sudo) only when something has to be installed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/build-web}
mkdir -p "$out"
out=$(cd "$out" && pwd)
deps=$out/deps
jobs=$(nproc)

# Debian's Emscripten runs its JavaScript tools with the system Node.js, which
# finds the modules Debian installs (acorn) only through NODE_PATH.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

step_start=0
step() {
  step_start=$(date +%s)
  echo "web: $*"
}
step_done() {
  echo "web: done in $(($(date +%s) - step_start)) s"
}

# Emscripten and Node.js build and run the browser version; Chromium runs the
# web tests headless; dpkg-dev unpacks source packages.
missing=()
for tool in emcc:emscripten node:nodejs dpkg-source:dpkg-dev chromium:chromium; do
  if ! command -v "${tool%%:*}" >/dev/null; then
    missing+=("${tool#*:}")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  step "installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  step_done
fi

# Source packages come from the archive already configured: a deb-src entry
# is added beside each deb entry when there is none yet.
add_source_entries() {
  local list=/etc/apt/sources.list.d/riza3v-deb-src
  if grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return
  fi
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -e "$file" ] || continue
    sed 's/^Types: deb$/Types: deb-src/' "$file" | $sudo tee -a "$list.sources" >/dev/null
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee -a "$list.list" >/dev/null
  fi
  $sudo apt-get update -qq
}

freetype=$deps/freetype
if [ ! -f "$freetype/lib/libfreetype.a" ]; then
  step "building FreeType with Emscripten from Debian's source package"
  add_source_entries
  rm -rf "$deps/src"
  mkdir -p "$deps/src"
  (cd "$deps/src" && apt-get source -qq freetype >/dev/null)
  source_dir=$(find "$deps/src" -maxdepth 1 -mindepth 1 -type d -name 'freetype-*' | head -n 1)
  if [ -z "$source_dir" ]; then
    echo "web: apt-get source freetype gave no source folder in $deps/src" >&2
    exit 1
  fi
  # The GDI stand-in needs only FreeType's outline fonts and rasteriser: the
  # optional compression and shaping libraries stay out.
  nice -n 10 emcmake cmake -S "$source_dir" -B "$deps/build/freetype" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$freetype" -DBUILD_SHARED_LIBS=OFF \
    -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON >/dev/null
  nice -n 10 cmake --build "$deps/build/freetype" --parallel "$jobs" >/dev/null
  cmake --install "$deps/build/freetype" >/dev/null
  step_done
fi

step "configuring and building the web backend in $out"
nice -n 10 emcmake cmake -S "$top" -B "$out" -DRIZA3V_PLATFORM=web -DCMAKE_BUILD_TYPE=Release \
  -DRIZA3V_TESTS=OFF -DRIZA3V_BENCHMARKS=OFF -DRIZA3V_WEB_DEPS="$deps" >/dev/null
nice -n 10 cmake --build "$out" --parallel "$jobs"
step_done
