// The body shared by the multi-lane MD5 versions, written once over a vector
// type V whose 32-bit elements are the lanes.  Every SIMD file includes it
// with its own V and instruction-set flags; all of it has internal linkage so
// that no code compiled for one instruction set can be picked by the linker
// for another.
//
// V provides: Reg, kLanes, Load/Store (kLanes state words), Add, Set1,
// Rotl<s>, the round functions F, G, H, I, and LoadBlock(p, offset, x), which
// puts word w of every lane's block at p[lane] + offset into x[w].
#pragma once

#include <cstddef>
#include <cstdint>

#include "checksum/md5_block.h"

namespace tarvel::md5_detail {
namespace {

// One step: a = b + ((a + f(b, c, d) + x + t) <<< s).  x + t and a + (x + t)
// do not wait for b, so only f, one addition, the rotate and the last
// addition lie on the chain from one step to the next.
#define TARVEL_MD5_STEP(f, a, b, c, d, k, s, t)                       \
  a = V::Add(a, V::Add(x[k], V::Set1(static_cast<std::int32_t>(t)))); \
  a = V::Add(a, V::f(b, c, d));                                       \
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
    const Reg aa = a, bb = b, cc = c, dd = d;

    TARVEL_MD5_STEP(F, a, b, c, d, 0, 7, 0xd76aa478u);
    TARVEL_MD5_STEP(F, d, a, b, c, 1, 12, 0xe8c7b756u);
    TARVEL_MD5_STEP(F, c, d, a, b, 2, 17, 0x242070dbu);
    TARVEL_MD5_STEP(F, b, c, d, a, 3, 22, 0xc1bdceeeu);
    TARVEL_MD5_STEP(F, a, b, c, d, 4, 7, 0xf57c0fafu);
    TARVEL_MD5_STEP(F, d, a, b, c, 5, 12, 0x4787c62au);
    TARVEL_MD5_STEP(F, c, d, a, b, 6, 17, 0xa8304613u);
    TARVEL_MD5_STEP(F, b, c, d, a, 7, 22, 0xfd469501u);
    TARVEL_MD5_STEP(F, a, b, c, d, 8, 7, 0x698098d8u);
    TARVEL_MD5_STEP(F, d, a, b, c, 9, 12, 0x8b44f7afu);
    TARVEL_MD5_STEP(F, c, d, a, b, 10, 17, 0xffff5bb1u);
    TARVEL_MD5_STEP(F, b, c, d, a, 11, 22, 0x895cd7beu);
    TARVEL_MD5_STEP(F, a, b, c, d, 12, 7, 0x6b901122u);
    TARVEL_MD5_STEP(F, d, a, b, c, 13, 12, 0xfd987193u);
    TARVEL_MD5_STEP(F, c, d, a, b, 14, 17, 0xa679438eu);
    TARVEL_MD5_STEP(F, b, c, d, a, 15, 22, 0x49b40821u);

    TARVEL_MD5_STEP(G, a, b, c, d, 1, 5, 0xf61e2562u);
    TARVEL_MD5_STEP(G, d, a, b, c, 6, 9, 0xc040b340u);
    TARVEL_MD5_STEP(G, c, d, a, b, 11, 14, 0x265e5a51u);
    TARVEL_MD5_STEP(G, b, c, d, a, 0, 20, 0xe9b6c7aau);
    TARVEL_MD5_STEP(G, a, b, c, d, 5, 5, 0xd62f105du);
    TARVEL_MD5_STEP(G, d, a, b, c, 10, 9, 0x02441453u);
    TARVEL_MD5_STEP(G, c, d, a, b, 15, 14, 0xd8a1e681u);
    TARVEL_MD5_STEP(G, b, c, d, a, 4, 20, 0xe7d3fbc8u);
    TARVEL_MD5_STEP(G, a, b, c, d, 9, 5, 0x21e1cde6u);
    TARVEL_MD5_STEP(G, d, a, b, c, 14, 9, 0xc33707d6u);
    TARVEL_MD5_STEP(G, c, d, a, b, 3, 14, 0xf4d50d87u);
    TARVEL_MD5_STEP(G, b, c, d, a, 8, 20, 0x455a14edu);
    TARVEL_MD5_STEP(G, a, b, c, d, 13, 5, 0xa9e3e905u);
    TARVEL_MD5_STEP(G, d, a, b, c, 2, 9, 0xfcefa3f8u);
    TARVEL_MD5_STEP(G, c, d, a, b, 7, 14, 0x676f02d9u);
    TARVEL_MD5_STEP(G, b, c, d, a, 12, 20, 0x8d2a4c8au);

    TARVEL_MD5_STEP(H, a, b, c, d, 5, 4, 0xfffa3942u);
    TARVEL_MD5_STEP(H, d, a, b, c, 8, 11, 0x8771f681u);
    TARVEL_MD5_STEP(H, c, d, a, b, 11, 16, 0x6d9d6122u);
    TARVEL_MD5_STEP(H, b, c, d, a, 14, 23, 0xfde5380cu);
    TARVEL_MD5_STEP(H, a, b, c, d, 1, 4, 0xa4beea44u);
    TARVEL_MD5_STEP(H, d, a, b, c, 4, 11, 0x4bdecfa9u);
    TARVEL_MD5_STEP(H, c, d, a, b, 7, 16, 0xf6bb4b60u);
    TARVEL_MD5_STEP(H, b, c, d, a, 10, 23, 0xbebfbc70u);
    TARVEL_MD5_STEP(H, a, b, c, d, 13, 4, 0x289b7ec6u);
    TARVEL_MD5_STEP(H, d, a, b, c, 0, 11, 0xeaa127fau);
    TARVEL_MD5_STEP(H, c, d, a, b, 3, 16, 0xd4ef3085u);
    TARVEL_MD5_STEP(H, b, c, d, a, 6, 23, 0x04881d05u);
    TARVEL_MD5_STEP(H, a, b, c, d, 9, 4, 0xd9d4d039u);
    TARVEL_MD5_STEP(H, d, a, b, c, 12, 11, 0xe6db99e5u);
    TARVEL_MD5_STEP(H, c, d, a, b, 15, 16, 0x1fa27cf8u);
    TARVEL_MD5_STEP(H, b, c, d, a, 2, 23, 0xc4ac5665u);

    TARVEL_MD5_STEP(I, a, b, c, d, 0, 6, 0xf4292244u);
    TARVEL_MD5_STEP(I, d, a, b, c, 7, 10, 0x432aff97u);
    TARVEL_MD5_STEP(I, c, d, a, b, 14, 15, 0xab9423a7u);
    TARVEL_MD5_STEP(I, b, c, d, a, 5, 21, 0xfc93a039u);
    TARVEL_MD5_STEP(I, a, b, c, d, 12, 6, 0x655b59c3u);
    TARVEL_MD5_STEP(I, d, a, b, c, 3, 10, 0x8f0ccc92u);
    TARVEL_MD5_STEP(I, c, d, a, b, 10, 15, 0xffeff47du);
    TARVEL_MD5_STEP(I, b, c, d, a, 1, 21, 0x85845dd1u);
    TARVEL_MD5_STEP(I, a, b, c, d, 8, 6, 0x6fa87e4fu);
    TARVEL_MD5_STEP(I, d, a, b, c, 15, 10, 0xfe2ce6e0u);
    TARVEL_MD5_STEP(I, c, d, a, b, 6, 15, 0xa3014314u);
    TARVEL_MD5_STEP(I, b, c, d, a, 13, 21, 0x4e0811a1u);
    TARVEL_MD5_STEP(I, a, b, c, d, 4, 6, 0xf7537e82u);
    TARVEL_MD5_STEP(I, d, a, b, c, 11, 10, 0xbd3af235u);
    TARVEL_MD5_STEP(I, c, d, a, b, 2, 15, 0x2ad7d2bbu);
    TARVEL_MD5_STEP(I, b, c, d, a, 9, 21, 0xeb86d391u);

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

}  // namespace
}  // namespace tarvel::md5_detail
