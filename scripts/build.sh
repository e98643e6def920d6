#!/usr/bin/env bash
# Configures and builds everything in ./build (2 parallel jobs; through
# ccache when it is installed).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ccache.sh
source scripts/samples.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${samples[@]}" >/dev/null
cmake --build build -j2
