#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes the volume reader: builds the libFuzzer target tests/fuzz/volume_fuzz
# alone (clang, ASan + UBSan) in build-fuzz and runs it for SECONDS over the
# checked-in corpus, so that an input which crashes it, hangs it or breaks
# the check's rules fails the run.
#   scripts/fuzz.sh [SECONDS]    (default 60; scripts/test.sh runs it)
# What the run finds goes to build-fuzz/corpus, never into tests/fuzz/corpus;
# a failing input is left as build-fuzz/crash-* (or timeout-*, leak-*), to be
# added to tests/fuzz/corpus together with its fix.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
echo "== Fuzzing the volume reader for ${seconds} s (libFuzzer)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTARVEL_FUZZ=ON -DTARVEL_GUI=OFF -DTARVEL_BUILD_TESTS=ON -DTARVEL_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target volume_fuzz
mkdir -p build-fuzz/corpus
rm -f build-fuzz/crash-* build-fuzz/timeout-* build-fuzz/leak-* build-fuzz/oom-*
# The set folders the harness writes are cheap on a memory file system.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
if ! build-fuzz/tests/fuzz/volume_fuzz build-fuzz/corpus tests/fuzz/corpus \
      -max_total_time="$seconds" -max_len=4096 -timeout=30 -rss_limit_mb=1024 \
      -malloc_limit_mb=256 -artifact_prefix=build-fuzz/ -print_final_stats=1 \
      >build-fuzz/fuzz.log 2>&1; then
  tail -n 60 build-fuzz/fuzz.log
  echo "The volume fuzz target failed; the input is in build-fuzz/ (log: build-fuzz/fuzz.log)."
  exit 1
fi
grep -E '^(Done|stat::number_of_executed_units)' build-fuzz/fuzz.log || true
