// SPDX-License-Identifier: GPL-3.0-or-later
// AVX-512 versions: 16 lanes in zmm registers, and 8 in ymm or 4 in xmm
// (the VL forms) for fewer busy streams.  Each round function is one
// vpternlogd and each rotate one vprold.  Compiled with -mavx512f
// -mavx512vl; called only when the CPU has both.
#include <immintrin.h>

#include "checksum/md5_simd.h"

namespace tarvel::md5_detail {
namespace {

struct Avx512 {
  using Reg = __m512i;
  static constexpr int kLanes = 16;
  static constexpr __mmask16 kAll = 0xFFFF;

  static Reg Load(const std::uint32_t* p) { return _mm512_loadu_si512(p); }
  static void Store(std::uint32_t* p, Reg v) { _mm512_storeu_si512(p, v); }
  static Reg Add(Reg a, Reg b) { return _mm512_add_epi32(a, b); }
  static Reg Broadcast(const std::uint32_t* p) {
    return _mm512_set1_epi32(static_cast<std::int32_t>(*p));
  }
  // The zero-masked forms with a full mask (here and in LoadBlock) are the
  // same instructions; the unmasked intrinsics trip GCC 12's
  // maybe-uninitialized warning on their undefined pass-through operand.
  template <int s>
  static Reg Rotl(Reg v) {
    return _mm512_maskz_rol_epi32(kAll, v, s);
  }
  // Truth tables over (b, c, d): F = b ? c : d, G = d ? b : c, H = b ^ c ^ d,
  // I = c ^ (b | ~d).
  static Reg F(Reg b, Reg c, Reg d) { return _mm512_ternarylogic_epi32(b, c, d, 0xCA); }
  static Reg G(Reg b, Reg c, Reg d) { return _mm512_ternarylogic_epi32(b, c, d, 0xE4); }
  static Reg H(Reg b, Reg c, Reg d) { return _mm512_ternarylogic_epi32(b, c, d, 0x96); }
  static Reg I(Reg b, Reg c, Reg d) { return _mm512_ternarylogic_epi32(b, c, d, 0x39); }

  // One 64-byte block per lane, transposed 16 x 16 so that x[w] holds word w
  // of every lane.
  static void LoadBlock(const std::uint8_t* const* p, std::size_t offset, Reg x[16]) {
    Reg r[16], t[16];
    for (int i = 0; i < 16; ++i) r[i] = _mm512_loadu_si512(p[i] + offset);
    for (int i = 0; i < 16; i += 2) {
      t[i] = _mm512_maskz_unpacklo_epi32(kAll, r[i], r[i + 1]);
      t[i + 1] = _mm512_maskz_unpackhi_epi32(kAll, r[i], r[i + 1]);
    }
    // r[4i + k], 128-bit part j: word 4j + k of lanes 4i .. 4i + 3.
    for (int i = 0; i < 16; i += 4) {
      r[i] = _mm512_maskz_unpacklo_epi64(0xFF, t[i], t[i + 2]);
      r[i + 1] = _mm512_maskz_unpackhi_epi64(0xFF, t[i], t[i + 2]);
      r[i + 2] = _mm512_maskz_unpacklo_epi64(0xFF, t[i + 1], t[i + 3]);
      r[i + 3] = _mm512_maskz_unpackhi_epi64(0xFF, t[i + 1], t[i + 3]);
    }
    for (int k = 0; k < 4; ++k) {
      const Reg v0 = _mm512_maskz_shuffle_i32x4(kAll, r[k], r[4 + k], 0x44);
      const Reg v1 = _mm512_maskz_shuffle_i32x4(kAll, r[k], r[4 + k], 0xEE);
      const Reg v2 = _mm512_maskz_shuffle_i32x4(kAll, r[8 + k], r[12 + k], 0x44);
      const Reg v3 = _mm512_maskz_shuffle_i32x4(kAll, r[8 + k], r[12 + k], 0xEE);
      x[k] = _mm512_maskz_shuffle_i32x4(kAll, v0, v2, 0x88);
      x[4 + k] = _mm512_maskz_shuffle_i32x4(kAll, v0, v2, 0xDD);
      x[8 + k] = _mm512_maskz_shuffle_i32x4(kAll, v1, v3, 0x88);
      x[12 + k] = _mm512_maskz_shuffle_i32x4(kAll, v1, v3, 0xDD);
    }
  }
};

// The same on 8 lanes in ymm registers.
struct Avx512x8 {
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
    return _mm256_maskz_rol_epi32(0xFF, v, s);
  }
  static Reg F(Reg b, Reg c, Reg d) { return _mm256_ternarylogic_epi32(b, c, d, 0xCA); }
  static Reg G(Reg b, Reg c, Reg d) { return _mm256_ternarylogic_epi32(b, c, d, 0xE4); }
  static Reg H(Reg b, Reg c, Reg d) { return _mm256_ternarylogic_epi32(b, c, d, 0x96); }
  static Reg I(Reg b, Reg c, Reg d) { return _mm256_ternarylogic_epi32(b, c, d, 0x39); }
  static void LoadBlock(const std::uint8_t* const* p, std::size_t offset, Reg x[16]) {
    LoadBlock8(p, offset, x);
  }
};

// The same on 4 lanes in xmm registers.
struct Avx512x4 {
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
    return _mm_maskz_rol_epi32(0xF, v, s);
  }
  static Reg F(Reg b, Reg c, Reg d) { return _mm_ternarylogic_epi32(b, c, d, 0xCA); }
  static Reg G(Reg b, Reg c, Reg d) { return _mm_ternarylogic_epi32(b, c, d, 0xE4); }
  static Reg H(Reg b, Reg c, Reg d) { return _mm_ternarylogic_epi32(b, c, d, 0x96); }
  static Reg I(Reg b, Reg c, Reg d) { return _mm_ternarylogic_epi32(b, c, d, 0x39); }
  static void LoadBlock(const std::uint8_t* const* p, std::size_t offset, Reg x[16]) {
    LoadBlock4(p, offset, x);
  }
};

}  // namespace

void HashLanesAvx512x4(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks) {
  HashLanesBody<Avx512x4>(state, data, blocks);
}

void HashLanesAvx512x8(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks) {
  HashLanesBody<Avx512x8>(state, data, blocks);
}

void HashLanesAvx512(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks) {
  HashLanesBody<Avx512>(state, data, blocks);
}

}  // namespace tarvel::md5_detail
