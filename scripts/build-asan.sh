#!/usr/bin/env bash
# Configures and builds everything in ./build-asan with clang,
# AddressSanitizer, UndefinedBehaviorSanitizer and the fuzz targets
# (2 parallel jobs; through ccache when it is installed).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ccache.sh
source scripts/samples.sh
CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLUMA_SANITIZE=ON -DLUMA_FUZZ=ON -DLUMA_BENCH=OFF "${launcher[@]}" "${samples[@]}" >/dev/null
cmake --build build-asan -j2
