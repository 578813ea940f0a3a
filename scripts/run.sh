#!/usr/bin/env bash
# Sets up, builds and runs the main job: split the bundled sample recording.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target krvtool sample_recording
exec build/bin/krvtool split build/bin/test.krv "$@"
