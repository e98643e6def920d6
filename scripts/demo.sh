#!/usr/bin/env bash
# Installs, builds, generates the demo data folder in ./demo (LALUMA and
# ALTEMARE side by side) and starts the program in its data folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
rm -rf demo
./build/tools/luma-demo demo
cd demo/LALUMA
exec ../../build/luma-cycle1
