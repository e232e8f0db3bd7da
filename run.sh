#!/usr/bin/env bash
# Sets everything up (packages, build, data set) and starts the game. Arguments pass through.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/setup.sh"
exec "${KV_BUILD_DIR:-$top/build}/korvane" "$@"
