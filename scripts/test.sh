#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: the function-length check, a
# bounded fuzzing run, the tests built with AddressSanitizer and UndefinedBehaviorSanitizer, the
# tests as shipped, and then the README's first command as it runs without a display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

echo "== No function over 60 lines"
tools/check-function-length

echo "== Fuzz the reader and the archive expansion for ${ISOLUMEN_FUZZ_SECONDS:-60} seconds each"
scripts/fuzz.sh "${ISOLUMEN_FUZZ_SECONDS:-60}" 2>&1 | tail -n 8

echo "== Tests with AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/build.sh build-asan -DISOLUMEN_SANITIZE=ON
(cd build-asan && QT_QPA_PLATFORM=offscreen \
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j2)

echo "== Tests"
scripts/build.sh build
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
cd ..

echo "== The README's first command, without a display"
# As a newcomer on a headless machine meets it: no display and no platform chosen for it.
summary=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM scripts/run.sh)
if ! grep -q '^File: demo.im$' <<<"$summary"; then
  echo "scripts/run.sh printed no summary of the demo acquisition:" >&2
  echo "$summary" >&2
  exit 1
fi
