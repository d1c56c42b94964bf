// SPDX-License-Identifier: GPL-3.0-or-later
// GFNI version on 512-bit registers: each product is one gf2p8affineqb with
// the bit matrix of "multiply by c" in this field (gf2p8mulb would reduce by
// a different polynomial).  Compiled with -mavx512f -mavx512bw -mgfni;
// called only when the CPU has all three.
#include <immintrin.h>

#include "parity/region_simd.h"
#include "parity/region_tables.h"

namespace tarvel::region_detail {
namespace {

struct GfniAvx512 {
  using Reg = __m512i;
  using Prepared = Reg;
  static constexpr int kWidth = 64;
  static constexpr int kGroup = kGroupGfniAvx512;

  static Reg Load(const std::uint8_t* p) { return _mm512_loadu_si512(p); }
  static void Store(std::uint8_t* p, Reg v) { _mm512_storeu_si512(p, v); }
  static Reg Zero() { return _mm512_setzero_si512(); }
  static Prepared Prepare(Reg x) { return x; }
  using Coef = long long;  // the bit matrix of "multiply by c"
  static Coef MakeCoef(std::uint8_t c) { return static_cast<long long>(kAffineMatrices.m[c]); }
  static Reg MulXor(Reg acc, Reg x, Coef coef) {
    const Reg matrix = _mm512_set1_epi64(coef);
    return _mm512_xor_si512(acc, _mm512_gf2p8affine_epi64_epi8(x, matrix, 0));
  }
  // acc ^ c0 * x0 ^ c1 * x1 with one vpternlogq for both sums.
  static Reg MulXor2(Reg acc, Reg x0, Coef c0, Reg x1, Coef c1) {
    const Reg p0 = _mm512_gf2p8affine_epi64_epi8(x0, _mm512_set1_epi64(c0), 0);
    const Reg p1 = _mm512_gf2p8affine_epi64_epi8(x1, _mm512_set1_epi64(c1), 0);
    return _mm512_ternarylogic_epi64(acc, p0, p1, 0x96);
  }
};

}  // namespace

void RegionBlockGfniAvx512(const RegionBlock& block) { RunBlock<GfniAvx512>(block); }

}  // namespace tarvel::region_detail
