#!/usr/bin/env bash
# Installs, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
# The Access sample files of the folder-conversion tests (this machine's
# shared copy unless told otherwise). Under CI (CI=true) they must be there:
# without them those tests fail instead of skipping.
export LUMA_ACCESS_SAMPLES="${LUMA_ACCESS_SAMPLES:-/work/shared/testdata/access}"
# The PostgreSQL tests start their own throwaway server: under CI it must
# start.
if [ "${CI:-}" = true ]; then
  export LUMA_REQUIRE_ACCESS_SAMPLES=ON LUMA_REQUIRE_POSTGRESQL=ON
else
  export LUMA_REQUIRE_ACCESS_SAMPLES=OFF LUMA_REQUIRE_POSTGRESQL=OFF
fi
bash scripts/install-deps.sh
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j2
# The whole suite again, built with AddressSanitizer and UBSan (build-asan),
# then each fuzz target for 30 seconds.
bash scripts/build-asan.sh
ctest --test-dir build-asan --output-on-failure -j2
bash scripts/fuzz.sh 30
