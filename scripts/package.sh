#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages with CPack and checks what they hold
# (tests/data/package_test.sh):
#   build-package/tarvel-cli_<version>-1_<arch>.deb  the command, no Qt
#   build-package/tarvel_<version>-1_<arch>.deb      the windows (needs tarvel-cli)
#
#   scripts/package.sh        builds the Release tree build-package first, and
#                             packages both
#   scripts/package.sh --cli  the same without Qt (nor installs it), and
#                             packages tarvel-cli alone: for a server or a NAS
#   scripts/package.sh TREE   packages a tree built already (scripts/test.sh
#                             passes its Release tree, so CI builds once): both
#                             packages, or tarvel-cli alone from a tree built
#                             with -DTARVEL_GUI=OFF
# Install them with:
#   sudo apt-get install ./build-package/tarvel-cli_*.deb ./build-package/tarvel_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --cli ]; then
  tree=build-package
  scripts/install-deps.sh --cli
  scripts/build.sh "$tree" -DCMAKE_BUILD_TYPE=Release -DTARVEL_GUI=OFF -DTARVEL_BUILD_TESTS=OFF \
    -DTARVEL_BUILD_BENCH=OFF
elif [ $# -eq 0 ]; then
  tree=build-package
  scripts/install-deps.sh
  scripts/build.sh "$tree" -DCMAKE_BUILD_TYPE=Release -DTARVEL_GUI=ON -DTARVEL_BUILD_TESTS=OFF \
    -DTARVEL_BUILD_BENCH=OFF
else
  tree=$1
fi
mkdir -p build-package
rm -f build-package/tarvel_*.deb build-package/tarvel-cli_*.deb
cpack --config "$tree/CPackConfig.cmake" -B "$PWD/build-package" >/dev/null
debs=(build-package/tarvel-cli_*.deb)
if grep -qx 'TARVEL_GUI:BOOL=ON' "$tree/CMakeCache.txt"; then
  debs+=(build-package/tarvel_*.deb)
fi
tests/data/package_test.sh "${debs[@]}"
echo "Built ${debs[*]}"
