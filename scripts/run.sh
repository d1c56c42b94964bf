#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Tarvel and starts it.  The arguments go to
# tarvel as given, relative to the caller's folder (a volume named first is
# checked at once).  The tree is build-run (Release, no tests), apart from
# scripts/test.sh's trees, so that neither rebuilds what the other built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
(
  cd "$root"
  scripts/install-deps.sh
  scripts/build.sh build-run -DCMAKE_BUILD_TYPE=Release -DTARVEL_BUILD_TESTS=OFF -DTARVEL_BUILD_BENCH=OFF
)
exec "$root/build-run/src/app/tarvel" "$@"
