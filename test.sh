#!/usr/bin/env bash
# Sets everything up, then runs every test. Exits non-zero on any failure.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/setup.sh"
cd "${KV_BUILD_DIR:-$top/build}"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" "$@"
