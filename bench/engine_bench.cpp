// SPDX-License-Identifier: GPL-3.0-or-later
// Creating, checking and restoring a set of 20 files of 50 MB with 5 parity
// volumes, with every file in the page cache, next to md5sum over the same
// files in the same run.  Each benchmark reports MB/s of set data and
// "x_md5sum", its time over md5sum's.
//
//   build-engine/bench/engine_bench [--benchmark_filter=...]
//   TARVEL_BENCH_DIR=/some/folder  (default: the temporary folder)
//   TARVEL_BENCH_MB=50             (size of each file)
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "engine/engine.h"
#include "engine/format/volume_names.h"
#include "silent_interaction.h"

namespace tarvel {
namespace {

constexpr int kFiles = 20;
constexpr int kVolumes = 5;

struct BenchSet {
  std::string folder;
  std::vector<std::string> paths;
  std::int64_t bytes = 0;
  double md5sumSeconds = 0;

  BenchSet() {
    folder = bench::MakeBenchFolder();
    const char* mb = std::getenv("TARVEL_BENCH_MB");
    const std::size_t size = static_cast<std::size_t>(mb ? std::atol(mb) : 50) * 1000000;
    std::vector<std::uint64_t> words(size / 8 + 1);
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (int k = 0; k < kFiles; ++k) {
      for (auto& w : words) {  // xorshift64: fast, incompressible enough
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        w = x;
      }
      char name[32];
      std::snprintf(name, sizeof name, "data%02d.bin", k);
      paths.push_back(JoinPath(folder, name));
      std::ofstream(paths.back(), std::ios::binary)
          .write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(size));
      bytes += static_cast<std::int64_t>(size);
    }
  }
  ~BenchSet() { std::filesystem::remove_all(folder); }

  std::string Base() const { return JoinPath(folder, "bench"); }
};

BenchSet& Set() {
  static BenchSet set;
  return set;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Runs `work` once per iteration, after `prepare` (not timed), and reports
// MB/s of set data and the time over md5sum's.  Returns the mean seconds.
template <typename Prepare, typename Work>
double Measure(benchmark::State& state, Prepare prepare, Work work) {
  BenchSet& set = Set();
  double total = 0;
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    prepare();
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    work();
    total += Seconds(start);
    ++n;
  }
  state.SetBytesProcessed(set.bytes * n);
  if (set.md5sumSeconds > 0) state.counters["x_md5sum"] = total / n / set.md5sumSeconds;
  return total / n;
}

void Nothing() {}

void BM_Md5sum(benchmark::State& state) {
  BenchSet& set = Set();
  std::string command = "md5sum";
  for (const std::string& p : set.paths) command += " '" + p + "'";
  command += " >/dev/null";
  if (std::system(command.c_str()) != 0) state.SkipWithError("md5sum failed");  // warm the cache
  set.md5sumSeconds = Measure(state, Nothing, [&] {
    if (std::system(command.c_str()) != 0) state.SkipWithError("md5sum failed");
  });
}

void CreateSet(Engine& engine, SilentInteraction& ui) {
  BenchSet& set = Set();
  ui.choice = {true, kVolumes, set.Base()};
  if (engine.Create(set.paths) != CreateOutcome::kCreated) {
    throw std::runtime_error("creation failed");
  }
}

void BM_Create(benchmark::State& state) {
  SilentInteraction ui;
  Engine engine(Env::Default(), ui);
  Measure(state, Nothing, [&] { CreateSet(engine, ui); });
}

void CheckSet(Engine& engine) {
  if (engine.Check({VolumeFileName(Set().Base(), 0)}).outcome != CheckOutcome::kChecked) {
    throw std::runtime_error("not read");
  }
}

void BM_Check(benchmark::State& state) {
  SilentInteraction ui;
  Engine engine(Env::Default(), ui);
  CreateSet(engine, ui);
  Measure(state, Nothing, [&] { CheckSet(engine); });
  if (ui.lastReport.badFiles != 0) state.SkipWithError("set not intact");
}

// Two files lost and rebuilt; state.range(0) = 1 asks per file (one pass per
// file, as the window does), 0 rebuilds both in one pass (the command line).
// The timed restore ends with the check of the set again.
void BM_Restore(benchmark::State& state) {
  BenchSet& set = Set();
  SilentInteraction ui;
  Engine engine(Env::Default(), ui);
  CreateSet(engine, ui);
  const auto loseTwoFiles = [&] {
    std::filesystem::remove(set.paths[3]);
    std::filesystem::remove(set.paths[11]);
    CheckSet(engine);
  };
  Measure(state, loseTwoFiles, [&] {
    if (engine.Restore(state.range(0) == 1) != RestoreOutcome::kRestored) {
      state.SkipWithError("restore refused");
    }
  });
  if (ui.lastReport.badFiles != 0) state.SkipWithError("restore not exact");
}

BENCHMARK(BM_Md5sum)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Create)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Check)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Restore)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace tarvel

BENCHMARK_MAIN();
