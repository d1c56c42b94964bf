// SPDX-License-Identifier: GPL-3.0-or-later
// The body shared by the SIMD versions, written once over a vector type V.
// Every SIMD file includes it with its own V and instruction-set flags; all
// of it has internal linkage so that no code compiled for one instruction
// set can be picked by the linker for another.
//
// V provides: Reg, kWidth, kGroup (most destinations per pass), Load, Store,
// Zero, Prepared, Prepare(x) and MulXor(acc, prepared, c) = acc ^ c * x.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "parity/region_block.h"

namespace tarvel::region_detail {
namespace {

// Each pass reads one vector from every source row; with hundreds of rows
// the hardware prefetchers lose track, so the loop asks for the line a few
// steps ahead itself (a prefetch past the end of a row is harmless).
constexpr std::size_t kPrefetchDistance = 512;

inline void Prefetch(const std::uint8_t* row, std::size_t i) {
  _mm_prefetch(
      reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(row) + i + kPrefetchDistance),
      _MM_HINT_T0);
}

// Destination bytes past the last full vector, one at a time by the table.
inline void BlockTail(const RegionBlock& b, std::size_t from) {
  for (int d = 0; d < b.dstCount; ++d) {
    std::uint8_t* out = b.dst[d];
    for (std::size_t i = from; i < b.end; ++i) {
      std::uint8_t value = b.accumulate ? out[i] : 0;
      for (int s = 0; s < b.srcCount; ++s) {
        value ^= b.mulTable[b.coefs[s * b.dstCount + d]][b.src[s][i]];
      }
      out[i] = value;
    }
  }
}

// One vector of columns at a time: every source is loaded once and folded
// into all G accumulators, and each destination vector is stored once.
template <class V, int G, bool kAccumulate>
void BlockBody(const RegionBlock& b) {
  // Each coefficient turned once per block into what the vector code uses
  // (a table address or a bit matrix), in the order the loop reads them.
  typename V::Coef coefs[kMaxBlockSources * G];
  const int srcCount = b.srcCount;
  for (int k = 0; k < srcCount * G; ++k) coefs[k] = V::MakeCoef(b.coefs[k]);

  std::size_t i = b.begin;
  for (; i + V::kWidth <= b.end; i += V::kWidth) {
    typename V::Reg acc[G];
    for (int d = 0; d < G; ++d) acc[d] = kAccumulate ? V::Load(b.dst[d] + i) : V::Zero();
    const typename V::Coef* coef = coefs;
    int s = 0;
    if constexpr (requires { V::MulXor2; }) {
      // Two sources per step where V folds two products in one instruction.
      for (; s + 1 < srcCount; s += 2, coef += 2 * G) {
        Prefetch(b.src[s], i);
        Prefetch(b.src[s + 1], i);
        const typename V::Prepared x0 = V::Prepare(V::Load(b.src[s] + i));
        const typename V::Prepared x1 = V::Prepare(V::Load(b.src[s + 1] + i));
        for (int d = 0; d < G; ++d) acc[d] = V::MulXor2(acc[d], x0, coef[d], x1, coef[G + d]);
      }
    }
    for (; s < srcCount; ++s, coef += G) {
      Prefetch(b.src[s], i);
      const typename V::Prepared x = V::Prepare(V::Load(b.src[s] + i));
      for (int d = 0; d < G; ++d) acc[d] = V::MulXor(acc[d], x, coef[d]);
    }
    for (int d = 0; d < G; ++d) V::Store(b.dst[d] + i, acc[d]);
  }
  if (i < b.end) BlockTail(b, i);
}

template <class V, int G>
void BlockFor(const RegionBlock& b) {
  if (b.accumulate) {
    BlockBody<V, G, true>(b);
  } else {
    BlockBody<V, G, false>(b);
  }
}

// Dispatches on the group size so that the accumulators stay in registers.
template <class V>
void RunBlock(const RegionBlock& b) {
  static_assert(V::kGroup >= 1 && V::kGroup <= 8);
  switch (b.dstCount) {
    case 1:
      return BlockFor<V, 1>(b);
    case 2:
      return BlockFor<V, 2>(b);
    case 3:
      return BlockFor<V, 3>(b);
    case 4:
      return BlockFor<V, 4>(b);
    case 5:
      return BlockFor<V, 5>(b);
    case 6:
      return BlockFor<V, 6>(b);
    case 7:
      if constexpr (V::kGroup >= 7) return BlockFor<V, 7>(b);
      break;
    case 8:
      if constexpr (V::kGroup >= 8) return BlockFor<V, 8>(b);
      break;
    default:
      break;
  }
  BlockTail(b, b.begin);  // not reached: the driver respects kGroup
}

}  // namespace
}  // namespace tarvel::region_detail
