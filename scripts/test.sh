#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds, and runs every test: first the
# normal build, then the threaded tests (clock, audio thread, song clock)
# under ThreadSanitizer, then every test again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

jobs=$(nproc)
"$top/scripts/build.sh" "$top/build"
(cd "$top/build" && ctest --output-on-failure --parallel "$jobs" --timeout 600)

if [ "${RIZA3V_SKIP_SANITIZERS:-0}" != 1 ]; then
  tsan_tests=(platform_kernel_tests music_output_tests)
  cmake -S "$top" -B "$top/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIZA3V_TSAN=ON \
    -DRIZA3V_BENCHMARKS=OFF >/dev/null
  cmake --build "$top/build-tsan" --parallel "$jobs" --target "${tsan_tests[@]}"
  for t in "${tsan_tests[@]}"; do
    exe=$(find "$top/build-tsan/tests" -type f -name "$t" -perm -u+x | head -n 1)
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$exe"
  done
fi

if [ "${RIZA3V_SKIP_SANITIZERS:-0}" != 1 ]; then
  "$top/scripts/build.sh" "$top/build-asan" -DRIZA3V_SANITIZE=ON -DRIZA3V_BENCHMARKS=OFF
  (cd "$top/build-asan" && ASAN_OPTIONS=detect_leaks=0 \
    ctest --output-on-failure --parallel "$jobs" --timeout 900 --label-exclude nosan)
fi
