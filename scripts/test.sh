#!/usr/bin/env bash
# Installs what is missing, checks that the sources are formatted as
# .clang-format says, builds Tarvel twice (optimised with warnings as
# errors, and with AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# every test in both builds; runs the tests of the threaded core (the
# hashing, the worker pool, the engine's passes on several threads) under
# ThreadSanitizer; packages the optimised build and checks the package;
# and, where clang is installed, fuzzes the volume reader for a minute.  Tests and benchmarks are switched on explicitly, as scripts/run.sh
# builds the same tree without them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test

echo "== Format of the sources (clang-format)"
{ git ls-files -- '*.cpp' '*.h' 2>/dev/null ||
  find src tests bench tools -name '*.cpp' -o -name '*.h'; } | xargs clang-format --dry-run --Werror

echo "== Release build, warnings as errors"
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DTARVEL_WERROR=ON -DTARVEL_BUILD_TESTS=ON -DTARVEL_BUILD_BENCH=ON
(cd build && ctest --output-on-failure -j "$(nproc)")

echo "== Debian package of the Release build"
scripts/package.sh build

echo "== Sanitizer build (ASan + UBSan)"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_WERROR=ON -DTARVEL_SANITIZE=ON -DTARVEL_BUILD_TESTS=ON -DTARVEL_BUILD_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$(nproc)")

echo "== ThreadSanitizer build of the threaded core"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_WERROR=ON \
  -DTARVEL_TSAN=ON -DTARVEL_BUILD_TESTS=ON -DTARVEL_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$(nproc)" --target checksum_test engine_test
export TSAN_OPTIONS=halt_on_error=1
build-tsan/tests/checksum/checksum_test
build-tsan/tests/engine/engine_test --gtest_filter='ThreadsTest.*:*FileHashPass*:WorkerPool.*:StreamDigests.*:StepsInOrder.*:Actions/ProgressRecords.*:ProgressPacing.*'

if command -v clang++ >/dev/null; then
  scripts/fuzz.sh 60
else
  echo "== clang++ is not installed: the volume fuzz target does not run"
fi
