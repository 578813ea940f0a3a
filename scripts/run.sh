#!/usr/bin/env bash
# Sets up, builds and runs the main job: the player on the bundled sample recording
# (or on the recordings given as arguments).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target VedraPlayer sample_recording
if [ $# -eq 0 ]; then set -- build/bin/test.krv; fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display here. To run the player under Xvfb:" >&2
  echo "  xvfb-run -a build/bin/VedraPlayer $*" >&2
  exit 1
fi
exec build/bin/VedraPlayer "$@"
