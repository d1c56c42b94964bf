// SPDX-License-Identifier: GPL-3.0-or-later
// AVX2 version: 8 lanes in ymm registers; rotates are two shifts and an OR.
// Compiled with -mavx2; called only when the CPU has it.
#include <immintrin.h>

#include "checksum/md5_simd.h"

namespace tarvel::md5_detail {
namespace {

struct Avx2 {
  using Reg = __m256i;
  static constexpr int kLanes = kLanesAvx2;

  static Reg Load(const std::uint32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const Reg*>(p));
  }
  static void Store(std::uint32_t* p, Reg v) { _mm256_storeu_si256(reinterpret_cast<Reg*>(p), v); }
  static Reg Add(Reg a, Reg b) { return _mm256_add_epi32(a, b); }
  static Reg Broadcast(const std::uint32_t* p) {
    return _mm256_set1_epi32(static_cast<std::int32_t>(*p));
  }
  template <int s>
  static Reg Rotl(Reg v) {
    return _mm256_or_si256(_mm256_slli_epi32(v, s), _mm256_srli_epi32(v, 32 - s));
  }
  static Reg F(Reg b, Reg c, Reg d) {
    return _mm256_xor_si256(d, _mm256_and_si256(b, _mm256_xor_si256(c, d)));
  }
  static Reg G(Reg b, Reg c, Reg d) {
    return _mm256_or_si256(_mm256_and_si256(b, d), _mm256_andnot_si256(d, c));
  }
  static Reg H(Reg b, Reg c, Reg d) { return _mm256_xor_si256(_mm256_xor_si256(b, c), d); }
  static Reg I(Reg b, Reg c, Reg d) {
    const Reg notD = _mm256_xor_si256(d, _mm256_set1_epi32(-1));
    return _mm256_xor_si256(c, _mm256_or_si256(b, notD));
  }

  // One 64-byte block per lane, as two 8 x 8 transposes (words 0-7, 8-15).
  static void LoadBlock(const std::uint8_t* const* p, std::size_t offset, Reg x[16]) {
    for (int half = 0; half < 2; ++half) {
      Reg r[8], t[8];
      for (int i = 0; i < 8; ++i) {
        r[i] = _mm256_loadu_si256(reinterpret_cast<const Reg*>(p[i] + offset + 32 * half));
      }
      for (int i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_epi32(r[i], r[i + 1]);
        t[i + 1] = _mm256_unpackhi_epi32(r[i], r[i + 1]);
      }
      // r[4i + k], 128-bit part j: word 4j + k of lanes 4i .. 4i + 3.
      for (int i = 0; i < 8; i += 4) {
        r[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
        r[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
        r[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
        r[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
      }
      Reg* out = x + 8 * half;
      for (int k = 0; k < 4; ++k) {
        out[k] = _mm256_permute2x128_si256(r[k], r[4 + k], 0x20);
        out[4 + k] = _mm256_permute2x128_si256(r[k], r[4 + k], 0x31);
      }
    }
  }
};

}  // namespace

void HashLanesAvx2(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks) {
  HashLanesBody<Avx2>(state, data, blocks);
}

}  // namespace tarvel::md5_detail
