// SPDX-License-Identifier: GPL-3.0-or-later
// GFNI version on 256-bit registers: each product is one gf2p8affineqb with
// the bit matrix of "multiply by c" in this field (gf2p8mulb would reduce by
// a different polynomial).  Compiled with -mavx2 -mgfni; called only when the
// CPU has both.
#include <immintrin.h>

#include "parity/region_simd.h"
#include "parity/region_tables.h"

namespace tarvel::region_detail {
namespace {

struct GfniAvx2 {
  using Reg = __m256i;
  using Prepared = Reg;
  static constexpr int kWidth = 32;
  static constexpr int kGroup = kGroupGfniAvx2;

  static Reg Load(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const Reg*>(p));
  }
  static void Store(std::uint8_t* p, Reg v) { _mm256_storeu_si256(reinterpret_cast<Reg*>(p), v); }
  static Reg Zero() { return _mm256_setzero_si256(); }
  static Prepared Prepare(Reg x) { return x; }
  using Coef = long long;  // the bit matrix of "multiply by c"
  static Coef MakeCoef(std::uint8_t c) { return static_cast<long long>(kAffineMatrices.m[c]); }
  static Reg MulXor(Reg acc, Reg x, Coef coef) {
    const Reg matrix = _mm256_set1_epi64x(coef);
    return _mm256_xor_si256(acc, _mm256_gf2p8affine_epi64_epi8(x, matrix, 0));
  }
};

}  // namespace

void RegionBlockGfniAvx2(const RegionBlock& block) { RunBlock<GfniAvx2>(block); }

}  // namespace tarvel::region_detail
