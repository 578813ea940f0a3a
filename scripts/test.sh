#!/usr/bin/env bash
# Sets up, builds and runs every test: the full build, then the container
# tests, the Turnbox pixel kernel's and the pane picture conversion's again
# under AddressSanitizer and UndefinedBehaviorSanitizer (the Turnbox plugin
# and the engine around the conversion are not built there).
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1
jobs=$(nproc)

cmake -S . -B build -G Ninja >/dev/null || exit 1
cmake --build build -j "$jobs" || exit 1

cmake -S . -B build-asan -G Ninja -DVEDRA_SANITIZE=ON -DVEDRA_BUILD_ENGINE=OFF \
  -DVEDRA_BUILD_PLAYER=OFF -DVEDRA_BUILD_TURNBOX=OFF -DVEDRA_BUILD_BENCH=OFF >/dev/null || exit 1
cmake --build build-asan -j "$jobs" || exit 1

status=0
echo "== sanitizer run (container tests, the Turnbox kernel and the picture conversion under ASan/UBSan)"
(cd build-asan && ctest -L 'krv|turnbox|picture' --output-on-failure --timeout 900 -j "$jobs") || status=1
echo "== all tests"
(cd build && ctest --output-on-failure --timeout 900 -j "$jobs") || status=1
exit $status
