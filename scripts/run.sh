#!/usr/bin/env bash
# Sets up what is missing, builds the simulated-machine tools, and runs one whole erase on
# the default machine image. Extra arguments go to `qxers-sim run` (an image folder, --out DIR,
# --verbose, --log).
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -d /usr/src/googletest ] || need+=(googletest)
[ -f /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)           # qxers-sim's command line
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)  # and its JSON
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}"
fi

# Only qxers-sim, unoptimized and without debug information: the quickest build (the run itself
# takes well under a second); the native preset's build of the tests stays untouched.
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build build/run --target qxers-sim -j"$(nproc)" >/dev/null
exec build/run/tools/qxers-sim/qxers-sim run "$@"
