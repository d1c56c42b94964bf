#!/usr/bin/env bash
# Builds the Debian package build-package/tarvel_<version>-1_<arch>.deb with
# CPack and checks what it holds (tests/data/package_test.sh).
#   scripts/package.sh        builds the Release tree build-package first
#   scripts/package.sh TREE   packages a tree built already (scripts/test.sh
#                             passes its Release tree, so CI builds once)
# Install it with: sudo apt-get install ./build-package/tarvel_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
tree=${1:-build-package}
if [ $# -eq 0 ]; then
  scripts/install-deps.sh
  scripts/build.sh "$tree" -DCMAKE_BUILD_TYPE=Release -DTARVEL_BUILD_TESTS=OFF -DTARVEL_BUILD_BENCH=OFF
fi
mkdir -p build-package
rm -f build-package/tarvel_*.deb
cpack --config "$tree/CPackConfig.cmake" -B "$PWD/build-package" >/dev/null
deb=$(echo build-package/tarvel_*.deb)
tests/data/package_test.sh "$deb"
echo "Built $deb"
