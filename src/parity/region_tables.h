// SPDX-License-Identifier: GPL-3.0-or-later
// Per-coefficient tables for the SIMD region kernels, computed at compile
// time from the field polynomial: split 4-bit product tables for the byte
// shuffle kernels and the 8 x 8 bit matrices of "multiply by c" for
// gf2p8affineqb.  Both give exactly MulTable[c][x]; the kernel tests check
// every version against the scalar table loop.
//
// Only constant data lives here: the SIMD translation units are compiled
// with their own instruction-set flags and must not share inline code with
// the rest of the program.
#pragma once

#include <cstdint>

namespace tarvel::region_detail {

// Carry-less product of a and b reduced modulo 285 (0x11D).
constexpr std::uint8_t FieldProduct(unsigned a, unsigned b) {
  unsigned product = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (b & (1u << bit)) product ^= a << bit;
  }
  for (int bit = 14; bit >= 8; --bit) {
    if (product & (1u << bit)) product ^= 0x11Du << (bit - 8);
  }
  return static_cast<std::uint8_t>(product);
}

// NibbleTables[c][x] = c * x and NibbleTables[c][16 + x] = c * (x << 4) for
// x = 0..15, so that c * b = [c][b & 15] ^ [c][16 + (b >> 4)].
struct NibbleTableSet {
  alignas(64) std::uint8_t t[256][32];
};

constexpr NibbleTableSet MakeNibbleTables() {
  NibbleTableSet set{};
  for (unsigned c = 0; c < 256; ++c) {
    for (unsigned x = 0; x < 16; ++x) {
      set.t[c][x] = FieldProduct(c, x);
      set.t[c][16 + x] = FieldProduct(c, x << 4);
    }
  }
  return set;
}

// The 64-bit operand of gf2p8affineqb that maps a byte b to c * b.  Bit i of
// the result is the parity of (matrix byte 7 - i) AND b, so byte 7 - i holds,
// in bit j, bit i of c * 2^j.
constexpr std::uint64_t AffineMatrix(unsigned c) {
  std::uint64_t matrix = 0;
  for (int i = 0; i < 8; ++i) {
    std::uint64_t row = 0;
    for (int j = 0; j < 8; ++j) {
      if ((FieldProduct(c, 1u << j) >> i) & 1u) row |= std::uint64_t{1} << j;
    }
    matrix |= row << (8 * (7 - i));
  }
  return matrix;
}

struct AffineMatrixSet {
  alignas(64) std::uint64_t m[256];
};

constexpr AffineMatrixSet MakeAffineMatrices() {
  AffineMatrixSet set{};
  for (unsigned c = 0; c < 256; ++c) set.m[c] = AffineMatrix(c);
  return set;
}

inline constexpr NibbleTableSet kNibbleTables = MakeNibbleTables();
inline constexpr AffineMatrixSet kAffineMatrices = MakeAffineMatrices();

}  // namespace tarvel::region_detail
