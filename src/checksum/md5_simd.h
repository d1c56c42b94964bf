// SPDX-License-Identifier: GPL-3.0-or-later
// The body shared by the multi-lane MD5 versions, written once over a vector
// type V whose 32-bit elements are the lanes.  Every SIMD file includes it
// with its own V and instruction-set flags; all of it has internal linkage so
// that no code compiled for one instruction set can be picked by the linker
// for another.
//
// V provides: Reg, kLanes, Load/Store (kLanes state words), Add, Broadcast (one constant to every
// lane), Rotl<s>, the round functions F, G, H, I, and LoadBlock(p, offset, x), which puts word w of
// every lane's block at p[lane] + offset into x[w].
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "checksum/md5_block.h"

namespace tarvel::md5_detail {
namespace {

// The 64 additive constants, one per step.
alignas(64) constexpr std::uint32_t kStepConstants[64] = {
    0xd76aa478u, 0xe8c7b756u, 0x242070dbu, 0xc1bdceeeu, 0xf57c0fafu, 0x4787c62au, 0xa8304613u,
    0xfd469501u, 0x698098d8u, 0x8b44f7afu, 0xffff5bb1u, 0x895cd7beu, 0x6b901122u, 0xfd987193u,
    0xa679438eu, 0x49b40821u, 0xf61e2562u, 0xc040b340u, 0x265e5a51u, 0xe9b6c7aau, 0xd62f105du,
    0x02441453u, 0xd8a1e681u, 0xe7d3fbc8u, 0x21e1cde6u, 0xc33707d6u, 0xf4d50d87u, 0x455a14edu,
    0xa9e3e905u, 0xfcefa3f8u, 0x676f02d9u, 0x8d2a4c8au, 0xfffa3942u, 0x8771f681u, 0x6d9d6122u,
    0xfde5380cu, 0xa4beea44u, 0x4bdecfa9u, 0xf6bb4b60u, 0xbebfbc70u, 0x289b7ec6u, 0xeaa127fau,
    0xd4ef3085u, 0x04881d05u, 0xd9d4d039u, 0xe6db99e5u, 0x1fa27cf8u, 0xc4ac5665u, 0xf4292244u,
    0x432aff97u, 0xab9423a7u, 0xfc93a039u, 0x655b59c3u, 0x8f0ccc92u, 0xffeff47du, 0x85845dd1u,
    0x6fa87e4fu, 0xfe2ce6e0u, 0xa3014314u, 0x4e0811a1u, 0xf7537e82u, 0xbd3af235u, 0x2ad7d2bbu,
    0xeb86d391u,
};

// Sixteen streams at once are more than the hardware prefetchers follow well,
// so each block asks for the line this far ahead in every lane itself (a
// prefetch past the end of a buffer is harmless).
constexpr std::size_t kPrefetchDistance = 256;

// One step: a = b + ((a + f(b, c, d) + x + t) <<< s).  x + t and a + (x + t)
// do not wait for b, so only f, one addition, the rotate and the last
// addition lie on the chain from one step to the next.
#define TARVEL_MD5_STEP(f, a, b, c, d, k, s, i)       \
  a = V::Add(a, V::Add(x[k], V::Broadcast(t + (i)))); \
  a = V::Add(a, V::f(b, c, d));                       \
  a = V::Add(V::template Rotl<s>(a), b)

template <class V>
void HashLanesBody(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks) {
  using Reg = typename V::Reg;
  Reg a = V::Load(state);
  Reg b = V::Load(state + kMaxLanes);
  Reg c = V::Load(state + 2 * kMaxLanes);
  Reg d = V::Load(state + 3 * kMaxLanes);
  for (std::size_t offset = 0; offset < blocks * 64; offset += 64) {
    Reg x[16];
    V::LoadBlock(data, offset, x);
    for (int lane = 0; lane < V::kLanes; ++lane) {
      _mm_prefetch(reinterpret_cast<const char*>(data[lane]) + offset + kPrefetchDistance,
                   _MM_HINT_T0);
    }
    // Read the constants from memory at each step, as broadcast operands of
    // the additions, rather than keeping 64 of them in registers.
    const std::uint32_t* t = kStepConstants;
    asm("" : "+r"(t));
    const Reg aa = a, bb = b, cc = c, dd = d;

    TARVEL_MD5_STEP(F, a, b, c, d, 0, 7, 0);
    TARVEL_MD5_STEP(F, d, a, b, c, 1, 12, 1);
    TARVEL_MD5_STEP(F, c, d, a, b, 2, 17, 2);
    TARVEL_MD5_STEP(F, b, c, d, a, 3, 22, 3);
    TARVEL_MD5_STEP(F, a, b, c, d, 4, 7, 4);
    TARVEL_MD5_STEP(F, d, a, b, c, 5, 12, 5);
    TARVEL_MD5_STEP(F, c, d, a, b, 6, 17, 6);
    TARVEL_MD5_STEP(F, b, c, d, a, 7, 22, 7);
    TARVEL_MD5_STEP(F, a, b, c, d, 8, 7, 8);
    TARVEL_MD5_STEP(F, d, a, b, c, 9, 12, 9);
    TARVEL_MD5_STEP(F, c, d, a, b, 10, 17, 10);
    TARVEL_MD5_STEP(F, b, c, d, a, 11, 22, 11);
    TARVEL_MD5_STEP(F, a, b, c, d, 12, 7, 12);
    TARVEL_MD5_STEP(F, d, a, b, c, 13, 12, 13);
    TARVEL_MD5_STEP(F, c, d, a, b, 14, 17, 14);
    TARVEL_MD5_STEP(F, b, c, d, a, 15, 22, 15);

    TARVEL_MD5_STEP(G, a, b, c, d, 1, 5, 16);
    TARVEL_MD5_STEP(G, d, a, b, c, 6, 9, 17);
    TARVEL_MD5_STEP(G, c, d, a, b, 11, 14, 18);
    TARVEL_MD5_STEP(G, b, c, d, a, 0, 20, 19);
    TARVEL_MD5_STEP(G, a, b, c, d, 5, 5, 20);
    TARVEL_MD5_STEP(G, d, a, b, c, 10, 9, 21);
    TARVEL_MD5_STEP(G, c, d, a, b, 15, 14, 22);
    TARVEL_MD5_STEP(G, b, c, d, a, 4, 20, 23);
    TARVEL_MD5_STEP(G, a, b, c, d, 9, 5, 24);
    TARVEL_MD5_STEP(G, d, a, b, c, 14, 9, 25);
    TARVEL_MD5_STEP(G, c, d, a, b, 3, 14, 26);
    TARVEL_MD5_STEP(G, b, c, d, a, 8, 20, 27);
    TARVEL_MD5_STEP(G, a, b, c, d, 13, 5, 28);
    TARVEL_MD5_STEP(G, d, a, b, c, 2, 9, 29);
    TARVEL_MD5_STEP(G, c, d, a, b, 7, 14, 30);
    TARVEL_MD5_STEP(G, b, c, d, a, 12, 20, 31);

    TARVEL_MD5_STEP(H, a, b, c, d, 5, 4, 32);
    TARVEL_MD5_STEP(H, d, a, b, c, 8, 11, 33);
    TARVEL_MD5_STEP(H, c, d, a, b, 11, 16, 34);
    TARVEL_MD5_STEP(H, b, c, d, a, 14, 23, 35);
    TARVEL_MD5_STEP(H, a, b, c, d, 1, 4, 36);
    TARVEL_MD5_STEP(H, d, a, b, c, 4, 11, 37);
    TARVEL_MD5_STEP(H, c, d, a, b, 7, 16, 38);
    TARVEL_MD5_STEP(H, b, c, d, a, 10, 23, 39);
    TARVEL_MD5_STEP(H, a, b, c, d, 13, 4, 40);
    TARVEL_MD5_STEP(H, d, a, b, c, 0, 11, 41);
    TARVEL_MD5_STEP(H, c, d, a, b, 3, 16, 42);
    TARVEL_MD5_STEP(H, b, c, d, a, 6, 23, 43);
    TARVEL_MD5_STEP(H, a, b, c, d, 9, 4, 44);
    TARVEL_MD5_STEP(H, d, a, b, c, 12, 11, 45);
    TARVEL_MD5_STEP(H, c, d, a, b, 15, 16, 46);
    TARVEL_MD5_STEP(H, b, c, d, a, 2, 23, 47);

    TARVEL_MD5_STEP(I, a, b, c, d, 0, 6, 48);
    TARVEL_MD5_STEP(I, d, a, b, c, 7, 10, 49);
    TARVEL_MD5_STEP(I, c, d, a, b, 14, 15, 50);
    TARVEL_MD5_STEP(I, b, c, d, a, 5, 21, 51);
    TARVEL_MD5_STEP(I, a, b, c, d, 12, 6, 52);
    TARVEL_MD5_STEP(I, d, a, b, c, 3, 10, 53);
    TARVEL_MD5_STEP(I, c, d, a, b, 10, 15, 54);
    TARVEL_MD5_STEP(I, b, c, d, a, 1, 21, 55);
    TARVEL_MD5_STEP(I, a, b, c, d, 8, 6, 56);
    TARVEL_MD5_STEP(I, d, a, b, c, 15, 10, 57);
    TARVEL_MD5_STEP(I, c, d, a, b, 6, 15, 58);
    TARVEL_MD5_STEP(I, b, c, d, a, 13, 21, 59);
    TARVEL_MD5_STEP(I, a, b, c, d, 4, 6, 60);
    TARVEL_MD5_STEP(I, d, a, b, c, 11, 10, 61);
    TARVEL_MD5_STEP(I, c, d, a, b, 2, 15, 62);
    TARVEL_MD5_STEP(I, b, c, d, a, 9, 21, 63);

    a = V::Add(a, aa);
    b = V::Add(b, bb);
    c = V::Add(c, cc);
    d = V::Add(d, dd);
  }
  V::Store(state, a);
  V::Store(state + kMaxLanes, b);
  V::Store(state + 2 * kMaxLanes, c);
  V::Store(state + 3 * kMaxLanes, d);
}

#undef TARVEL_MD5_STEP

// Block loads shared by the versions of 4 and 8 lanes (every file that
// includes this is compiled for AVX2 at least).

// One 64-byte block of each of 4 lanes into x[w] (word w of every lane), as
// four 4 x 4 transposes.
inline void LoadBlock4(const std::uint8_t* const* p, std::size_t offset, __m128i x[16]) {
  for (int quarter = 0; quarter < 4; ++quarter) {
    __m128i r[4];
    for (int i = 0; i < 4; ++i) {
      r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p[i] + offset + 16 * quarter));
    }
    const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]);  // lanes 0, 1: words 0, 1
    const __m128i t1 = _mm_unpackhi_epi32(r[0], r[1]);  // lanes 0, 1: words 2, 3
    const __m128i t2 = _mm_unpacklo_epi32(r[2], r[3]);
    const __m128i t3 = _mm_unpackhi_epi32(r[2], r[3]);
    __m128i* out = x + 4 * quarter;
    out[0] = _mm_unpacklo_epi64(t0, t2);
    out[1] = _mm_unpackhi_epi64(t0, t2);
    out[2] = _mm_unpacklo_epi64(t1, t3);
    out[3] = _mm_unpackhi_epi64(t1, t3);
  }
}

// One 64-byte block of each of 8 lanes, as two 8 x 8 transposes (words 0-7,
// 8-15).
inline void LoadBlock8(const std::uint8_t* const* p, std::size_t offset, __m256i x[16]) {
  for (int half = 0; half < 2; ++half) {
    __m256i r[8], t[8];
    for (int i = 0; i < 8; ++i) {
      r[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p[i] + offset + 32 * half));
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
    __m256i* out = x + 8 * half;
    for (int k = 0; k < 4; ++k) {
      out[k] = _mm256_permute2x128_si256(r[k], r[4 + k], 0x20);
      out[4 + k] = _mm256_permute2x128_si256(r[k], r[4 + k], 0x31);
    }
  }
}

}  // namespace
}  // namespace tarvel::md5_detail
