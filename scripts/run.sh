#!/usr/bin/env bash
# Sets up what is missing, builds the simulated-machine tools, and runs one whole erase on
# the default machine image. Extra arguments go to `qxers-sim run` (an image folder, --out DIR).
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -d /usr/src/googletest ] || need+=(googletest)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}"
fi

cmake --preset native >/dev/null
cmake --build --preset native --target qxers-sim -j"$(nproc)"
exec build/native/tools/qxers-sim/qxers-sim run "$@"
