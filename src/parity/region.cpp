// SPDX-License-Identifier: GPL-3.0-or-later
#include "parity/region.h"

#include <algorithm>
#include <cstring>

#include "parity/region_block.h"

namespace tarvel {
namespace {

using region_detail::kMaxBlockSources;
using region_detail::kMaxGroup;
using region_detail::RegionBlock;
using region_detail::RegionBlockFn;

// Bytes of source data one tile may hold, so that the sources of a tile are
// still in the core's cache when the next group of destinations reads them.
constexpr std::size_t kTileSourceBytes = 192 * 1024;
constexpr std::size_t kMinTile = 512;

struct Version {
  RegionBlockFn fn = nullptr;
  int group = 0;
};

Version VersionOf(RegionKernel kernel) {
#if defined(TARVEL_X86_KERNELS)
  using namespace region_detail;
  switch (kernel) {
    case RegionKernel::kSsse3:
      return {RegionBlockSsse3, kGroupSsse3};
    case RegionKernel::kAvx2:
      return {RegionBlockAvx2, kGroupAvx2};
    case RegionKernel::kAvx512bw:
      return {RegionBlockAvx512bw, kGroupAvx512bw};
    case RegionKernel::kGfniAvx2:
      return {RegionBlockGfniAvx2, kGroupGfniAvx2};
    case RegionKernel::kGfniAvx512:
      return {RegionBlockGfniAvx512, kGroupGfniAvx512};
    case RegionKernel::kScalar:
      break;
  }
#else
  (void)kernel;
#endif
  return {};
}

// The definition: one table lookup and one XOR per byte per coefficient.
void RunScalar(const RegionJob& job) {
  for (int d = 0; d < job.dstCount; ++d) {
    std::uint8_t* out = job.dst[d];
    if (!job.accumulate) std::memset(out, 0, job.length);
    const std::uint8_t* coefRow = job.coefs + static_cast<std::size_t>(d) * job.coefStride;
    for (int s = 0; s < job.srcCount; ++s) {
      const std::uint8_t* product = job.mulTable[coefRow[s]];
      const std::uint8_t* in = job.src[s];
      for (std::size_t i = 0; i < job.length; ++i) out[i] ^= product[in[i]];
    }
  }
}

// Splits the destinations into groups of nearly equal size (10 with groups
// of 8 become 5 + 5), the columns into tiles whose sources stay cached, and
// long source lists into blocks that accumulate.
void RunTiled(const Version& version, const RegionJob& job) {
  const int groups = (job.dstCount + version.group - 1) / version.group;
  const int sources = std::max(job.srcCount, 1);
  std::size_t tile = job.length;
  if (groups > 1 || job.srcCount > kMaxBlockSources) {
    tile =
        std::max(kMinTile, kTileSourceBytes / static_cast<std::size_t>(sources)) & ~std::size_t{63};
  }

  std::uint8_t coefs[kMaxBlockSources * kMaxGroup];
  for (std::size_t begin = 0; begin < job.length; begin += tile) {
    const std::size_t end = std::min(job.length, begin + tile);
    int firstDst = 0;
    for (int g = 0; g < groups; ++g) {
      const int count = (job.dstCount - firstDst) / (groups - g);
      int firstSrc = 0;
      do {
        const int srcCount = std::min(job.srcCount - firstSrc, kMaxBlockSources);
        for (int s = 0; s < srcCount; ++s) {
          for (int d = 0; d < count; ++d) {
            coefs[s * count + d] =
                job.coefs[static_cast<std::size_t>(firstDst + d) * job.coefStride + firstSrc + s];
          }
        }
        const RegionBlock block{job.mulTable,
                                begin,
                                end,
                                srcCount,
                                job.src + firstSrc,
                                count,
                                job.dst + firstDst,
                                coefs,
                                job.accumulate || firstSrc > 0};
        version.fn(block);
        firstSrc += srcCount;
      } while (firstSrc < job.srcCount);
      firstDst += count;
    }
  }
}

RegionKernel DetectBest() {
  for (RegionKernel kernel : {RegionKernel::kGfniAvx512, RegionKernel::kAvx512bw,
                              RegionKernel::kGfniAvx2, RegionKernel::kAvx2, RegionKernel::kSsse3}) {
    if (RegionKernelSupported(kernel)) return kernel;
  }
  return RegionKernel::kScalar;
}

}  // namespace

std::string_view RegionKernelName(RegionKernel kernel) {
  switch (kernel) {
    case RegionKernel::kScalar:
      return "scalar";
    case RegionKernel::kSsse3:
      return "ssse3";
    case RegionKernel::kAvx2:
      return "avx2";
    case RegionKernel::kAvx512bw:
      return "avx512bw";
    case RegionKernel::kGfniAvx2:
      return "gfni-avx2";
    case RegionKernel::kGfniAvx512:
      return "gfni-avx512";
  }
  return "unknown";
}

bool RegionKernelSupported(RegionKernel kernel) {
  if (kernel == RegionKernel::kScalar) return true;
#if defined(TARVEL_X86_KERNELS)
  // __builtin_cpu_supports also requires the OS to save the wide registers.
  __builtin_cpu_init();
  const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  switch (kernel) {
    case RegionKernel::kSsse3:
      return __builtin_cpu_supports("ssse3");
    case RegionKernel::kAvx2:
      return __builtin_cpu_supports("avx2");
    case RegionKernel::kAvx512bw:
      return avx512;
    case RegionKernel::kGfniAvx2:
      return __builtin_cpu_supports("gfni") && __builtin_cpu_supports("avx2");
    case RegionKernel::kGfniAvx512:
      return __builtin_cpu_supports("gfni") && avx512;
    case RegionKernel::kScalar:
      break;
  }
#endif
  return false;
}

RegionKernel BestRegionKernel() {
  static const RegionKernel best = DetectBest();
  return best;
}

void RunRegionJob(RegionKernel kernel, const RegionJob& job) {
  if (job.dstCount <= 0 || job.length == 0) return;
  const Version version = VersionOf(kernel);
  if (version.fn == nullptr) {
    RunScalar(job);
  } else {
    RunTiled(version, job);
  }
}

void MulAddRegion(RegionKernel kernel, const std::uint8_t (*mulTable)[256], std::uint8_t c,
                  std::span<const std::uint8_t> src, std::span<std::uint8_t> dst) {
  const std::uint8_t* srcRow = src.data();
  std::uint8_t* dstRow = dst.data();
  RegionJob job;
  job.mulTable = mulTable;
  job.length = std::min(src.size(), dst.size());
  job.srcCount = 1;
  job.src = &srcRow;
  job.dstCount = 1;
  job.dst = &dstRow;
  job.coefs = &c;
  job.coefStride = 1;
  job.accumulate = true;
  RunRegionJob(kernel, job);
}

}  // namespace tarvel
