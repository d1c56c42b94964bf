// SPDX-License-Identifier: GPL-3.0-or-later
// Parity throughput on full 50000-byte chunks: ComputeParity for three set
// shapes and ApplyRecovery for 5 missing of 20 files, with every region
// kernel version the CPU has, the loop exactly as the parity equation is
// written (column outermost, one table lookup per byte per coefficient), and
// ISA-L's ec_encode_data on the same data and coefficients when it is
// installed.  "bytes_per_second" counts input bytes (N x 50000 per call);
// "coef_bytes" counts N x P x 50000 per call.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "parity/rs.h"

#if defined(TARVEL_BENCH_ISAL)
#include <isa-l/erasure_code.h>
#endif

namespace {

using tarvel::kChunkSize;
using tarvel::ParityMatrix;
using tarvel::RegionKernel;

struct Shape {
  int files;
  int parity;
};
constexpr Shape kParityShapes[] = {{20, 5}, {100, 10}, {250, 5}};
constexpr Shape kRecoveryShape = {20, 5};

ParityMatrix& Matrix() {
  static ParityMatrix* matrix = [] {
    auto* pm = new ParityMatrix;
    std::mt19937 rng(42);
    for (int r = 0; r < 256; ++r) {
      for (int i = 0; i < kChunkSize; ++i) pm->DataRow(r)[i] = static_cast<std::uint8_t>(rng());
    }
    return pm;
  }();
  return *matrix;
}

void SetCounters(benchmark::State& state, int files, int outputs) {
  const double perCall = static_cast<double>(files) * kChunkSize;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * perCall));
  state.counters["coef_bytes"] =
      benchmark::Counter(perCall * outputs, benchmark::Counter::kIsIterationInvariantRate,
                         benchmark::Counter::kIs1000);
}

void ComputeParityWith(benchmark::State& state, RegionKernel kernel, Shape shape) {
  ParityMatrix& pm = Matrix();
  pm.UseKernel(kernel);
  for (auto _ : state) {
    pm.ComputeParity(shape.files, shape.parity);
    benchmark::ClobberMemory();
  }
  SetCounters(state, shape.files, shape.parity);
}

void ApplyRecoveryWith(benchmark::State& state, RegionKernel kernel) {
  ParityMatrix& pm = Matrix();
  pm.UseKernel(kernel);
  // Positions 3, 6, .. missing, as many as there are volumes.
  std::array<bool, kRecoveryShape.files> fileOk;
  std::array<bool, kRecoveryShape.parity> volumeUsable;
  fileOk.fill(true);
  volumeUsable.fill(true);
  for (int k = 1; k <= kRecoveryShape.parity; ++k) fileOk[k * 3 - 1] = false;
  if (pm.PrepareRecovery(fileOk, volumeUsable).result != tarvel::RecoveryResult::kOk) {
    state.SkipWithError("recovery system not solvable");
    return;
  }
  for (auto _ : state) {
    pm.ApplyRecovery();
    benchmark::ClobberMemory();
  }
  SetCounters(state, kRecoveryShape.files, kRecoveryShape.parity);
}

// The parity equation in the order it is written: column, volume, file.
void DefinitionLoop(benchmark::State& state, Shape shape) {
  ParityMatrix& pm = Matrix();
  const auto& mul = pm.Field().MulTable;
  std::uint8_t* data[256];
  std::uint8_t* parity[129];
  for (int f = 1; f <= shape.files; ++f) data[f] = pm.DataRow(f);
  for (int v = 1; v <= shape.parity; ++v) parity[v] = pm.ParityRow(v);
  for (auto _ : state) {
    for (int c = 0; c < kChunkSize; ++c) {
      for (int v = 1; v <= shape.parity; ++v) {
        std::uint8_t value = 0;
        for (int f = 1; f <= shape.files; ++f)
          value ^= mul[pm.Coefficient(v - 1, f - 1)][data[f][c]];
        parity[v][c] = value;
      }
    }
    benchmark::ClobberMemory();
  }
  SetCounters(state, shape.files, shape.parity);
}

#if defined(TARVEL_BENCH_ISAL)
void IsalEncode(benchmark::State& state, Shape shape) {
  ParityMatrix& pm = Matrix();
  std::vector<unsigned char> coefs(static_cast<std::size_t>(shape.files) * shape.parity);
  for (int v = 0; v < shape.parity; ++v) {
    for (int f = 0; f < shape.files; ++f) coefs[v * shape.files + f] = pm.Coefficient(v, f);
  }
  std::vector<unsigned char> tables(32 * coefs.size());
  ec_init_tables(shape.files, shape.parity, coefs.data(), tables.data());
  std::vector<unsigned char*> data, parity;
  for (int f = 1; f <= shape.files; ++f) data.push_back(pm.DataRow(f));
  for (int v = 1; v <= shape.parity; ++v) parity.push_back(pm.ParityRow(v));
  for (auto _ : state) {
    ec_encode_data(kChunkSize, shape.files, shape.parity, tables.data(), data.data(),
                   parity.data());
    benchmark::ClobberMemory();
  }
  // ISA-L returns with the upper halves of the vector registers in use, which
  // would slow every SSE instruction after it (the SSSE3 runs that follow).
  if (__builtin_cpu_supports("avx")) asm volatile("vzeroupper");
  SetCounters(state, shape.files, shape.parity);
}
#endif

std::string CpuFlags() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    std::istringstream words(line.substr(line.find(':') + 1));
    std::string word, wanted;
    while (words >> word) {
      for (const char* name : {"ssse3", "avx2", "avx512f", "avx512bw", "gfni"}) {
        if (word == name) wanted += word + " ";
      }
    }
    return wanted;
  }
  return "unknown";
}

std::string ShapeName(Shape shape) {
  return std::to_string(shape.files) + "x" + std::to_string(shape.parity);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::AddCustomContext("cpu_flags", CpuFlags());
  benchmark::AddCustomContext("dispatched_kernel",
                              std::string(tarvel::RegionKernelName(tarvel::BestRegionKernel())));
  for (Shape shape : kParityShapes) {
    const std::string name = "ComputeParity/" + ShapeName(shape) + "/";
    benchmark::RegisterBenchmark((name + "definition-loop").c_str(), DefinitionLoop, shape);
    for (RegionKernel kernel : tarvel::kAllRegionKernels) {
      if (!tarvel::RegionKernelSupported(kernel)) continue;
      benchmark::RegisterBenchmark((name + std::string(tarvel::RegionKernelName(kernel))).c_str(),
                                   ComputeParityWith, kernel, shape);
    }
#if defined(TARVEL_BENCH_ISAL)
    benchmark::RegisterBenchmark((name + "isa-l").c_str(), IsalEncode, shape);
#endif
  }
  for (RegionKernel kernel : tarvel::kAllRegionKernels) {
    if (!tarvel::RegionKernelSupported(kernel)) continue;
    benchmark::RegisterBenchmark(("ApplyRecovery/" + ShapeName(kRecoveryShape) + "/" +
                                  std::string(tarvel::RegionKernelName(kernel)))
                                     .c_str(),
                                 ApplyRecoveryWith, kernel);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
