// SPDX-License-Identifier: GPL-3.0-or-later
// AVX-512BW version: 64 bytes per step, products from split 4-bit tables with
// vpshufb on zmm registers, folded with one vpternlogq.  Compiled with
// -mavx512f -mavx512bw; called only when the CPU has both.
#include <immintrin.h>

#include "parity/region_simd.h"
#include "parity/region_tables.h"

namespace tarvel::region_detail {
namespace {

struct Avx512bw {
  using Reg = __m512i;
  struct Prepared {
    Reg low, high;
  };
  static constexpr int kWidth = 64;
  static constexpr int kGroup = kGroupAvx512bw;

  static Reg Load(const std::uint8_t* p) { return _mm512_loadu_si512(p); }
  static void Store(std::uint8_t* p, Reg v) { _mm512_storeu_si512(p, v); }
  static Reg Zero() { return _mm512_setzero_si512(); }
  static Prepared Prepare(Reg x) {
    const Reg mask = _mm512_set1_epi8(0x0F);
    return {_mm512_and_si512(x, mask), _mm512_and_si512(_mm512_srli_epi16(x, 4), mask)};
  }
  // The 16-byte table in all four lanes.  The zero-masked form with a full
  // mask is the same instruction; the unmasked intrinsic trips GCC 12's
  // maybe-uninitialized warning.
  static Reg Broadcast(const std::uint8_t* table) {
    return _mm512_maskz_broadcast_i32x4(0xFFFF,
                                        _mm_load_si128(reinterpret_cast<const __m128i*>(table)));
  }
  using Coef = const std::uint8_t*;  // the coefficient's nibble tables
  static Coef MakeCoef(std::uint8_t c) { return kNibbleTables.t[c]; }
  static Reg MulXor(Reg acc, const Prepared& x, Coef table) {
    const Reg low = _mm512_shuffle_epi8(Broadcast(table), x.low);
    const Reg high = _mm512_shuffle_epi8(Broadcast(table + 16), x.high);
    return _mm512_ternarylogic_epi64(acc, low, high, 0x96);  // acc ^ low ^ high
  }
};

}  // namespace

void RegionBlockAvx512bw(const RegionBlock& block) { RunBlock<Avx512bw>(block); }

}  // namespace tarvel::region_detail
