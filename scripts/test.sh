#!/usr/bin/env bash
# Sets up a fresh Debian machine, checks the formatting of the sources,
# builds (the browser part too, scripts/web.sh), and runs every test: first
# the normal build, then the threaded tests (clock, audio thread, song clock)
# under ThreadSanitizer, then every test again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
# The sources keep the style of .clang-format; scripts/format.sh mends them.
"$top/scripts/format.sh" --check

# Tests that need the headless device fail here without one instead of
# skipping; the count of tests that did skip (for another reason) ends the run.
export RIZA3V_REQUIRE_DEVICE=1
ctest_log=$(mktemp)
report_skipped() {
  local skipped
  skipped=$(grep -c '\*\*\*Skipped' "$ctest_log" || true)
  echo "skipped tests: $skipped"
  grep '\*\*\*Skipped' "$ctest_log" || true
  rm -f "$ctest_log"
}
trap report_skipped EXIT

jobs=$(nproc)
"$top/scripts/build.sh" "$top/build"
# The browser build, once per run: the tests labelled "web" compare it with
# the desktop build. Outside CI a machine that cannot install Emscripten goes
# on, and those tests say why they did not run.
if ! "$top/scripts/web.sh" "$top/build-web"; then
  if [ -n "${CI:-}" ]; then
    exit 1
  fi
  echo "the browser build failed; the web tests will report it" >&2
fi
(cd "$top/build" && ctest --output-on-failure --parallel "$jobs" --timeout 600) | tee -a "$ctest_log"

if [ "${RIZA3V_SKIP_SANITIZERS:-0}" != 1 ]; then
  # The tests labelled "threads" run again under ThreadSanitizer: only their
  # executables are built in the sanitizer tree.
  tsan_targets=$(cd "$top/build" && ctest -N -V -L threads | sed -n 's#^.*Test command: \([^ ]*\).*#\1#p' |
    xargs -r -n1 basename | sort -u)
  if [ -z "$tsan_targets" ]; then
    echo "no tests carry the label threads" >&2
    exit 1
  fi
  cmake -S "$top" -B "$top/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIZA3V_TSAN=ON \
    -DRIZA3V_BENCHMARKS=OFF >/dev/null
  # shellcheck disable=SC2086
  cmake --build "$top/build-tsan" --parallel "$jobs" --target $tsan_targets
  (cd "$top/build-tsan" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --output-on-failure --parallel "$jobs" --timeout 900 -L threads --no-tests=error) | tee -a "$ctest_log"
fi

if [ "${RIZA3V_SKIP_SANITIZERS:-0}" != 1 ]; then
  "$top/scripts/build.sh" "$top/build-asan" -DRIZA3V_SANITIZE=ON -DRIZA3V_BENCHMARKS=OFF
  (cd "$top/build-asan" && ASAN_OPTIONS=detect_leaks=0 \
    ctest --output-on-failure --parallel "$jobs" --timeout 900 --label-exclude nosan) | tee -a "$ctest_log"
fi
