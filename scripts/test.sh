#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, checks that the sources are formatted as
# .clang-format says and carry the licence line, builds Tarvel twice (optimised with
# warnings as errors, and with AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs every test in both builds; packages the optimised build and checks
# both packages; builds tarvel-cli without Qt, checks that nothing asked for
# Qt and that it links none, and runs its tests there; runs the tests of the
# threaded core (the hashing, the worker pool, the engine's passes on several
# threads, the tests labelled tsan) under ThreadSanitizer; and, where clang is
# installed, fuzzes the volume reader for a minute.  Each build has its own
# tree (build, build-asan, build-noqt, build-tsan, build-fuzz), and none is
# scripts/run.sh's build-run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test

echo "== Format of the sources (clang-format)"
{ git ls-files -- '*.cpp' '*.h' 2>/dev/null ||
  find src tests bench tools -name '*.cpp' -o -name '*.h'; } | xargs clang-format --dry-run --Werror
scripts/spdx.sh --check

echo "== Release build, warnings as errors"
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DTARVEL_WERROR=ON -DTARVEL_BUILD_TESTS=ON -DTARVEL_BUILD_BENCH=ON
(cd build && ctest --output-on-failure -j "$(nproc)")

echo "== Debian package of the Release build"
scripts/package.sh build

echo "== Build without Qt (TARVEL_GUI=OFF): tarvel-cli and its tests"
# Qt is hidden from CMake, and cmake/ForbidQt.cmake stops the configure at
# any find_package() of Qt: first shown on a tree that asks for Qt, then the
# tree without it must configure all the same.
hide_qt=(--no-warn-unused-cli -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=TRUE
         "-DCMAKE_PROJECT_INCLUDE_BEFORE=$PWD/cmake/ForbidQt.cmake")
rm -rf build-noqt-probe && mkdir build-noqt-probe
if cmake -S . -B build-noqt-probe -G Ninja -DTARVEL_GUI=ON "${hide_qt[@]}" -DTARVEL_BUILD_TESTS=OFF \
     -DTARVEL_BUILD_BENCH=OFF >build-noqt-probe/configure.log 2>&1 ||
   ! grep -q 'in a build without Qt' build-noqt-probe/configure.log; then
  cat build-noqt-probe/configure.log
  echo "A find of Qt does not stop the configure: the build without Qt proves nothing."
  exit 1
fi
rm -rf build-noqt-probe
cmake -S . -B build-noqt -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVEL_WERROR=ON -DTARVEL_GUI=OFF \
  "${hide_qt[@]}" -DTARVEL_BUILD_TESTS=ON -DTARVEL_BUILD_BENCH=OFF >/dev/null
# The engine's own tests are those of the Release build; here the command's.
cmake --build build-noqt -j "$(nproc)" --target tarvel-cli cli_test
if grep -E '^Qt[0-9A-Za-z]*_DIR:PATH=/' build-noqt/CMakeCache.txt || [ -e build-noqt/src/app/tarvel ] ||
   readelf -d build-noqt/src/cli/tarvel-cli | grep '(NEEDED)' | grep -i 'libQt' ||
   ldd build-noqt/src/cli/tarvel-cli | grep -i 'libQt'; then
  echo "The build without Qt found Qt, built the windows, or its tarvel-cli links a Qt library."
  exit 1
fi
(cd build-noqt && ctest --output-on-failure -j "$(nproc)" -E '_NOT_BUILT$')

echo "== Sanitizer build (ASan + UBSan)"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_WERROR=ON -DTARVEL_SANITIZE=ON -DTARVEL_BUILD_TESTS=ON -DTARVEL_BUILD_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$(nproc)")

echo "== ThreadSanitizer build of the threaded core (the tests labelled tsan)"
# The label's patterns are in tests/checksum and tests/engine (CMakeLists.txt).
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_WERROR=ON -DTARVEL_GUI=OFF \
  -DTARVEL_TSAN=ON -DTARVEL_BUILD_TESTS=ON -DTARVEL_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$(nproc)" --target checksum_test engine_test
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j "$(nproc)" -L tsan --no-tests=error)

if command -v clang++ >/dev/null; then
  scripts/fuzz.sh 60
else
  echo "== clang++ is not installed: the volume fuzz target does not run"
fi
