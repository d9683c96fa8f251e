#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds, and runs every test: first the
# normal build, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

jobs=$(nproc)
"$top/scripts/build.sh" "$top/build"
(cd "$top/build" && ctest --output-on-failure --parallel "$jobs" --timeout 600)

if [ "${RIZA3V_SKIP_SANITIZERS:-0}" != 1 ]; then
  "$top/scripts/build.sh" "$top/build-asan" -DRIZA3V_SANITIZE=ON -DRIZA3V_BENCHMARKS=OFF
  (cd "$top/build-asan" && ASAN_OPTIONS=detect_leaks=0 \
    ctest --output-on-failure --parallel "$jobs" --timeout 900 --label-exclude nosan)
fi
