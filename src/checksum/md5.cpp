// SPDX-License-Identifier: GPL-3.0-or-later
// MD5 (RFC 1321): the one-stream block function, the incremental context
// and the whole-and-head digests of a stream.
#include "checksum/md5.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "checksum/md5_block.h"

namespace tarvel {
namespace {

inline std::uint32_t LoadLittle32(const std::uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  } else {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
  }
}

inline void StoreLittle32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// The four rounds, one step each.  F and I are the RFC's functions written
// with fewer operations; G's two terms never have a bit in common, so they
// are added separately instead of OR-ed, which shortens the dependency chain
// on `b` (the usual trick of fast MD5 implementations, same results).
#define MD5_F(a, b, c, d, x, s, t)              \
  a += ((d) ^ ((b) & ((c) ^ (d)))) + (x) + (t); \
  a = std::rotl(a, s) + (b)
#define MD5_G(a, b, c, d, x, s, t) \
  a += (x) + (t) + ((c) & ~(d));   \
  a += (b) & (d);                  \
  a = std::rotl(a, s) + (b)
#define MD5_H(a, b, c, d, x, s, t)    \
  a += ((b) ^ (c) ^ (d)) + (x) + (t); \
  a = std::rotl(a, s) + (b)
#define MD5_I(a, b, c, d, x, s, t)       \
  a += ((c) ^ ((b) | ~(d))) + (x) + (t); \
  a = std::rotl(a, s) + (b)

}  // namespace

// The 64 steps in order: the round function, the registers in their roles,
// the message word, the rotate and the additive constant.
#define MD5_STEPS(STEP)                        \
  STEP(MD5_F, a, b, c, d, 0, 7, 0xd76aa478u)   \
  STEP(MD5_F, d, a, b, c, 1, 12, 0xe8c7b756u)  \
  STEP(MD5_F, c, d, a, b, 2, 17, 0x242070dbu)  \
  STEP(MD5_F, b, c, d, a, 3, 22, 0xc1bdceeeu)  \
  STEP(MD5_F, a, b, c, d, 4, 7, 0xf57c0fafu)   \
  STEP(MD5_F, d, a, b, c, 5, 12, 0x4787c62au)  \
  STEP(MD5_F, c, d, a, b, 6, 17, 0xa8304613u)  \
  STEP(MD5_F, b, c, d, a, 7, 22, 0xfd469501u)  \
  STEP(MD5_F, a, b, c, d, 8, 7, 0x698098d8u)   \
  STEP(MD5_F, d, a, b, c, 9, 12, 0x8b44f7afu)  \
  STEP(MD5_F, c, d, a, b, 10, 17, 0xffff5bb1u) \
  STEP(MD5_F, b, c, d, a, 11, 22, 0x895cd7beu) \
  STEP(MD5_F, a, b, c, d, 12, 7, 0x6b901122u)  \
  STEP(MD5_F, d, a, b, c, 13, 12, 0xfd987193u) \
  STEP(MD5_F, c, d, a, b, 14, 17, 0xa679438eu) \
  STEP(MD5_F, b, c, d, a, 15, 22, 0x49b40821u) \
  STEP(MD5_G, a, b, c, d, 1, 5, 0xf61e2562u)   \
  STEP(MD5_G, d, a, b, c, 6, 9, 0xc040b340u)   \
  STEP(MD5_G, c, d, a, b, 11, 14, 0x265e5a51u) \
  STEP(MD5_G, b, c, d, a, 0, 20, 0xe9b6c7aau)  \
  STEP(MD5_G, a, b, c, d, 5, 5, 0xd62f105du)   \
  STEP(MD5_G, d, a, b, c, 10, 9, 0x02441453u)  \
  STEP(MD5_G, c, d, a, b, 15, 14, 0xd8a1e681u) \
  STEP(MD5_G, b, c, d, a, 4, 20, 0xe7d3fbc8u)  \
  STEP(MD5_G, a, b, c, d, 9, 5, 0x21e1cde6u)   \
  STEP(MD5_G, d, a, b, c, 14, 9, 0xc33707d6u)  \
  STEP(MD5_G, c, d, a, b, 3, 14, 0xf4d50d87u)  \
  STEP(MD5_G, b, c, d, a, 8, 20, 0x455a14edu)  \
  STEP(MD5_G, a, b, c, d, 13, 5, 0xa9e3e905u)  \
  STEP(MD5_G, d, a, b, c, 2, 9, 0xfcefa3f8u)   \
  STEP(MD5_G, c, d, a, b, 7, 14, 0x676f02d9u)  \
  STEP(MD5_G, b, c, d, a, 12, 20, 0x8d2a4c8au) \
  STEP(MD5_H, a, b, c, d, 5, 4, 0xfffa3942u)   \
  STEP(MD5_H, d, a, b, c, 8, 11, 0x8771f681u)  \
  STEP(MD5_H, c, d, a, b, 11, 16, 0x6d9d6122u) \
  STEP(MD5_H, b, c, d, a, 14, 23, 0xfde5380cu) \
  STEP(MD5_H, a, b, c, d, 1, 4, 0xa4beea44u)   \
  STEP(MD5_H, d, a, b, c, 4, 11, 0x4bdecfa9u)  \
  STEP(MD5_H, c, d, a, b, 7, 16, 0xf6bb4b60u)  \
  STEP(MD5_H, b, c, d, a, 10, 23, 0xbebfbc70u) \
  STEP(MD5_H, a, b, c, d, 13, 4, 0x289b7ec6u)  \
  STEP(MD5_H, d, a, b, c, 0, 11, 0xeaa127fau)  \
  STEP(MD5_H, c, d, a, b, 3, 16, 0xd4ef3085u)  \
  STEP(MD5_H, b, c, d, a, 6, 23, 0x04881d05u)  \
  STEP(MD5_H, a, b, c, d, 9, 4, 0xd9d4d039u)   \
  STEP(MD5_H, d, a, b, c, 12, 11, 0xe6db99e5u) \
  STEP(MD5_H, c, d, a, b, 15, 16, 0x1fa27cf8u) \
  STEP(MD5_H, b, c, d, a, 2, 23, 0xc4ac5665u)  \
  STEP(MD5_I, a, b, c, d, 0, 6, 0xf4292244u)   \
  STEP(MD5_I, d, a, b, c, 7, 10, 0x432aff97u)  \
  STEP(MD5_I, c, d, a, b, 14, 15, 0xab9423a7u) \
  STEP(MD5_I, b, c, d, a, 5, 21, 0xfc93a039u)  \
  STEP(MD5_I, a, b, c, d, 12, 6, 0x655b59c3u)  \
  STEP(MD5_I, d, a, b, c, 3, 10, 0x8f0ccc92u)  \
  STEP(MD5_I, c, d, a, b, 10, 15, 0xffeff47du) \
  STEP(MD5_I, b, c, d, a, 1, 21, 0x85845dd1u)  \
  STEP(MD5_I, a, b, c, d, 8, 6, 0x6fa87e4fu)   \
  STEP(MD5_I, d, a, b, c, 15, 10, 0xfe2ce6e0u) \
  STEP(MD5_I, c, d, a, b, 6, 15, 0xa3014314u)  \
  STEP(MD5_I, b, c, d, a, 13, 21, 0x4e0811a1u) \
  STEP(MD5_I, a, b, c, d, 4, 6, 0xf7537e82u)   \
  STEP(MD5_I, d, a, b, c, 11, 10, 0xbd3af235u) \
  STEP(MD5_I, c, d, a, b, 2, 15, 0x2ad7d2bbu)  \
  STEP(MD5_I, b, c, d, a, 9, 21, 0xeb86d391u)

namespace md5_detail {

void HashBlocks(std::uint32_t state[4], const std::uint8_t* p, std::size_t blocks) {
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks > 0; --blocks, p += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLittle32(p + 4 * i);
    const std::uint32_t aa = a, bb = b, cc = c, dd = d;
#define MD5_ONE(f, a, b, c, d, k, s, t) f(a, b, c, d, x[k], s, t);
    MD5_STEPS(MD5_ONE)
#undef MD5_ONE
    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

// Two streams in one loop: each step of one stream is independent of the
// other's, so the core runs both chains of dependent steps side by side and
// the pair costs little more than one stream alone.
void HashLanesPair(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks) {
  std::uint32_t a0 = state[0], b0 = state[kMaxLanes], c0 = state[2 * kMaxLanes],
                d0 = state[3 * kMaxLanes];
  std::uint32_t a1 = state[1], b1 = state[kMaxLanes + 1], c1 = state[2 * kMaxLanes + 1],
                d1 = state[3 * kMaxLanes + 1];
  const std::uint8_t* p0 = data[0];
  const std::uint8_t* p1 = data[1];
  for (; blocks > 0; --blocks, p0 += 64, p1 += 64) {
    std::uint32_t x0[16], x1[16];
    for (int i = 0; i < 16; ++i) {
      x0[i] = LoadLittle32(p0 + 4 * i);
      x1[i] = LoadLittle32(p1 + 4 * i);
    }
    const std::uint32_t aa0 = a0, bb0 = b0, cc0 = c0, dd0 = d0;
    const std::uint32_t aa1 = a1, bb1 = b1, cc1 = c1, dd1 = d1;
#define MD5_TWO(f, a, b, c, d, k, s, t)   \
  f(a##0, b##0, c##0, d##0, x0[k], s, t); \
  f(a##1, b##1, c##1, d##1, x1[k], s, t);
    MD5_STEPS(MD5_TWO)
#undef MD5_TWO
    a0 += aa0;
    b0 += bb0;
    c0 += cc0;
    d0 += dd0;
    a1 += aa1;
    b1 += bb1;
    c1 += cc1;
    d1 += dd1;
  }
  state[0] = a0;
  state[kMaxLanes] = b0;
  state[2 * kMaxLanes] = c0;
  state[3 * kMaxLanes] = d0;
  state[1] = a1;
  state[kMaxLanes + 1] = b1;
  state[2 * kMaxLanes + 1] = c1;
  state[3 * kMaxLanes + 1] = d1;
}

}  // namespace md5_detail

#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I
#undef MD5_STEPS

using md5_detail::HashBlocks;

void md5init(md5state& ctx) {
  ctx.state[0] = 0x67452301u;
  ctx.state[1] = 0xefcdab89u;
  ctx.state[2] = 0x98badcfeu;
  ctx.state[3] = 0x10325476u;
  ctx.count[0] = 0;
  ctx.count[1] = 0;
  std::memset(ctx.buffer, 0, sizeof ctx.buffer);
}

void md5update(md5state& ctx, const void* data, std::size_t length) {
  if (length == 0) return;
  const auto* in = static_cast<const std::uint8_t*>(data);

  // Bytes already waiting in the buffer, from the bit count.
  std::size_t used = (ctx.count[0] >> 3) & 63;

  // The bit count is 64 bits wide and wraps like the RFC's.
  const std::uint64_t bits = (std::uint64_t{ctx.count[1]} << 32 | ctx.count[0]) +
                             (static_cast<std::uint64_t>(length) << 3);
  ctx.count[0] = static_cast<std::uint32_t>(bits);
  ctx.count[1] = static_cast<std::uint32_t>(bits >> 32);

  if (used > 0) {
    const std::size_t take = std::min(length, 64 - used);
    std::memcpy(ctx.buffer + used, in, take);
    used += take;
    in += take;
    length -= take;
    if (used < 64) return;
    HashBlocks(ctx.state, ctx.buffer, 1);
  }
  // Whole blocks straight from the caller's bytes, without copying.
  HashBlocks(ctx.state, in, length / 64);
  in += length / 64 * 64;
  length %= 64;
  if (length > 0) std::memcpy(ctx.buffer, in, length);
}

void md5final(md5state& ctx, md5digest& out) {
  std::uint8_t bitcount[8];
  StoreLittle32(bitcount, ctx.count[0]);
  StoreLittle32(bitcount + 4, ctx.count[1]);

  // One 0x80 byte, then zeros up to 56 modulo 64, then the bit count.
  static constexpr std::uint8_t kPadding[64] = {0x80};
  const std::size_t used = (ctx.count[0] >> 3) & 63;
  const std::size_t padding = used < 56 ? 56 - used : 120 - used;
  md5update(ctx, kPadding, padding);
  md5update(ctx, bitcount, 8);

  for (int i = 0; i < 4; ++i) StoreLittle32(out.data() + 4 * i, ctx.state[i]);
  // Leave nothing of the message behind.
  std::memset(&ctx, 0, sizeof ctx);
}

md5digest md5buffer(const void* data, std::size_t length) {
  md5state ctx;
  md5init(ctx);
  md5update(ctx, data, length);
  md5digest out;
  md5final(ctx, out);
  return out;
}

void Md5WholeAndHead::Update(const void* data, std::size_t length) {
  const auto* in = static_cast<const std::uint8_t*>(data);
  const std::size_t head = Md5HeadPart(static_cast<std::uint64_t>(length_), length);
  if (head > 0) {
    md5update(ctx_, in, head);
    length_ += static_cast<std::int64_t>(head);
    // The head digest finishes a copy of the context; the original goes on.
    if (static_cast<std::size_t>(length_) == kMd5HeadBytes) head_ = Whole();
  }
  md5update(ctx_, in + head, length - head);
  length_ += static_cast<std::int64_t>(length - head);
}

md5digest Md5WholeAndHead::Whole() const {
  md5state copy = ctx_;
  md5digest out;
  md5final(copy, out);
  return out;
}

md5digest Md5WholeAndHead::Head() const {
  return static_cast<std::size_t>(length_) >= kMd5HeadBytes ? head_ : Whole();
}

bool md5equal(const md5digest& a, const md5digest& b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

std::string md5hex(const md5digest& d) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(32);
  for (std::uint8_t byte : d) {
    s.push_back(kDigits[byte >> 4]);
    s.push_back(kDigits[byte & 15]);
  }
  return s;
}

}  // namespace tarvel
