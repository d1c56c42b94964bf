// SPDX-License-Identifier: GPL-3.0-or-later
// AVX2 version: 32 bytes per step, products from split 4-bit tables with
// vpshufb.  Compiled with -mavx2; called only when the CPU has AVX2.
#include <immintrin.h>

#include "parity/region_simd.h"
#include "parity/region_tables.h"

namespace tarvel::region_detail {
namespace {

struct Avx2 {
  using Reg = __m256i;
  struct Prepared {
    Reg low, high;
  };
  static constexpr int kWidth = 32;
  static constexpr int kGroup = kGroupAvx2;

  static Reg Load(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const Reg*>(p));
  }
  static void Store(std::uint8_t* p, Reg v) { _mm256_storeu_si256(reinterpret_cast<Reg*>(p), v); }
  static Reg Zero() { return _mm256_setzero_si256(); }
  static Prepared Prepare(Reg x) {
    const Reg mask = _mm256_set1_epi8(0x0F);
    return {_mm256_and_si256(x, mask), _mm256_and_si256(_mm256_srli_epi16(x, 4), mask)};
  }
  using Coef = const std::uint8_t*;  // the coefficient's nibble tables
  static Coef MakeCoef(std::uint8_t c) { return kNibbleTables.t[c]; }
  static Reg MulXor(Reg acc, const Prepared& x, Coef table) {
    const Reg low = _mm256_shuffle_epi8(
        _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table))),
        x.low);
    const Reg high = _mm256_shuffle_epi8(
        _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table + 16))),
        x.high);
    return _mm256_xor_si256(acc, _mm256_xor_si256(low, high));
  }
};

}  // namespace

void RegionBlockAvx2(const RegionBlock& block) { RunBlock<Avx2>(block); }

}  // namespace tarvel::region_detail
