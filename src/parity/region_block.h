// SPDX-License-Identifier: GPL-3.0-or-later
// The interface between the region driver (region.cpp) and the SIMD
// versions: one tile of columns, one group of at most kMaxGroup destinations.
// Each SIMD version is compiled in its own file with its own flags.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel::region_detail {

// Sources processed in one block; longer source lists go in several blocks,
// the later ones accumulating.
constexpr int kMaxBlockSources = 256;
// Largest destination group of any version.
constexpr int kMaxGroup = 8;

struct RegionBlock {
  const std::uint8_t (*mulTable)[256];  // for the bytes after the last full vector
  std::size_t begin;                    // first column of the tile
  std::size_t end;                      // one past its last column
  int srcCount;                         // 0..kMaxBlockSources
  const std::uint8_t* const* src;
  int dstCount;  // 1..the version's group size
  std::uint8_t* const* dst;
  const std::uint8_t* coefs;  // coefs[s * dstCount + d]: source-major
  bool accumulate;
};

using RegionBlockFn = void (*)(const RegionBlock&);

// Group sizes: limited by the vector registers that hold the accumulators.
constexpr int kGroupSsse3 = 6;
constexpr int kGroupAvx2 = 6;
constexpr int kGroupAvx512bw = 8;
constexpr int kGroupGfniAvx2 = 8;
constexpr int kGroupGfniAvx512 = 8;

#if defined(TARVEL_X86_KERNELS)
void RegionBlockSsse3(const RegionBlock& block);
void RegionBlockAvx2(const RegionBlock& block);
void RegionBlockAvx512bw(const RegionBlock& block);
void RegionBlockGfniAvx2(const RegionBlock& block);
void RegionBlockGfniAvx512(const RegionBlock& block);
#endif

}  // namespace tarvel::region_detail
