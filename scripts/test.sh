#!/usr/bin/env bash
# Installs, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j2
# The whole suite again, built with AddressSanitizer and UBSan (build-asan),
# then each fuzz target for 30 seconds.
bash scripts/build-asan.sh
ctest --test-dir build-asan --output-on-failure -j2
bash scripts/fuzz.sh 30
