// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: arbitrary bytes as the volumes of a set, checked and
// restored by the engine (see volume_harness.h for how the input is laid
// out; its first byte picks the mode, and mode bit 0 writes correct control
// digests so that the list decoder and the check are reached).
//
// scripts/fuzz.sh [SECONDS] builds it alone in build-fuzz and runs it over the
// checked-in corpus (scripts/test.sh, and so CI, for 60 s).  By hand (clang only):
//   cmake -S /work/main -B /work/main/build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
//     -DCMAKE_CXX_COMPILER=clang++ -DTARVEL_FUZZ=ON -DTARVEL_BUILD_BENCH=OFF
//   cmake --build /work/main/build-fuzz -j2 --target volume_fuzz
// Run in a scratch corpus folder seeded from the checked-in one (libFuzzer
// adds what it finds to its first folder; the checked-in corpus holds only
// the seeds and the inputs that once failed).  A crashing input lands as
// crash-*, to be added to tests/fuzz/corpus/ together with its fix:
//   mkdir -p /tmp/volume-corpus && cp /work/main/tests/fuzz/corpus/* /tmp/volume-corpus/
//   cd /tmp && TMPDIR=/dev/shm /work/main/build-fuzz/tests/fuzz/volume_fuzz /tmp/volume-corpus \
//     -max_len=4096 -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=256 -max_total_time=600
// (TMPDIR on a memory file system keeps the set folder's writes cheap;
// -max_len=40000 lets the 252-file seed be mutated too.)
// Replay one input:  volume_fuzz crash-<hash>
// The same inputs run as a plain test in engine_test (HostileVolume.*).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "fuzz/volume_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tarvel::fuzz::VolumeHarness harness;
  const std::string violation = harness.Run(std::span<const std::uint8_t>(data, size));
  if (!violation.empty()) {
    std::fprintf(stderr, "hostile volume: %s\n", violation.c_str());
    std::abort();
  }
  return 0;
}
