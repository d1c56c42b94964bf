#!/usr/bin/env bash
# Installs what is missing, builds Tarvel and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DTARVEL_BUILD_TESTS=OFF -DTARVEL_BUILD_BENCH=OFF
exec build/src/cli/tarvel-cli --help
