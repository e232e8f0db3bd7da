#!/usr/bin/env bash
# Shared set-up for run.sh and test.sh: installs the Debian packages that are missing, configures and
# builds (program, data set, tests). Safe to run again: it skips the install when everything is present.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${KV_BUILD_DIR:-$top/build}"

packages=(
  build-essential cmake pkg-config
  libsdl2-dev libode-dev libpng-dev zlib1g-dev libfreetype-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0 libglx-mesa0
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo -n)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq </dev/null
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE="${KV_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build "$build" -j "$jobs"
