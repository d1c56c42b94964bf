// SPDX-License-Identifier: GPL-3.0-or-later
// AVX2 versions: 8 lanes in ymm registers, and 4 in xmm for fewer busy
// streams; rotates are two shifts and an OR.  Compiled with -mavx2; called
// only when the CPU has it.
#include <immintrin.h>

#include "checksum/md5_simd.h"

namespace tarvel::md5_detail {
namespace {

struct Avx2 {
  using Reg = __m256i;
  static constexpr int kLanes = 8;

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

  static void LoadBlock(const std::uint8_t* const* p, std::size_t offset, Reg x[16]) {
    LoadBlock8(p, offset, x);
  }
};

// The same on 4 lanes in xmm registers (VEX-encoded).
struct Avx2x4 {
  using Reg = __m128i;
  static constexpr int kLanes = 4;

  static Reg Load(const std::uint32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const Reg*>(p));
  }
  static void Store(std::uint32_t* p, Reg v) { _mm_storeu_si128(reinterpret_cast<Reg*>(p), v); }
  static Reg Add(Reg a, Reg b) { return _mm_add_epi32(a, b); }
  static Reg Broadcast(const std::uint32_t* p) {
    return _mm_set1_epi32(static_cast<std::int32_t>(*p));
  }
  template <int s>
  static Reg Rotl(Reg v) {
    return _mm_or_si128(_mm_slli_epi32(v, s), _mm_srli_epi32(v, 32 - s));
  }
  static Reg F(Reg b, Reg c, Reg d) {
    return _mm_xor_si128(d, _mm_and_si128(b, _mm_xor_si128(c, d)));
  }
  static Reg G(Reg b, Reg c, Reg d) {
    return _mm_or_si128(_mm_and_si128(b, d), _mm_andnot_si128(d, c));
  }
  static Reg H(Reg b, Reg c, Reg d) { return _mm_xor_si128(_mm_xor_si128(b, c), d); }
  static Reg I(Reg b, Reg c, Reg d) {
    const Reg notD = _mm_xor_si128(d, _mm_set1_epi32(-1));
    return _mm_xor_si128(c, _mm_or_si128(b, notD));
  }
  static void LoadBlock(const std::uint8_t* const* p, std::size_t offset, Reg x[16]) {
    LoadBlock4(p, offset, x);
  }
};

}  // namespace

void HashLanesAvx2x4(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks) {
  HashLanesBody<Avx2x4>(state, data, blocks);
}

void HashLanesAvx2(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks) {
  HashLanesBody<Avx2>(state, data, blocks);
}

}  // namespace tarvel::md5_detail
