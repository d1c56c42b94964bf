// SPDX-License-Identifier: GPL-3.0-or-later
// A reference for the parity bytes that the engine tests expect: GF(2^8)
// with the field polynomial 0x11D by shift and add, independent of the
// parity library's tables and kernels.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvel::testing {

inline std::uint8_t RefMul(std::uint8_t a, std::uint8_t b) {
  unsigned product = 0, x = a;
  for (unsigned y = b; y != 0; y >>= 1) {
    if (y & 1) product ^= x;
    x <<= 1;
    if (x & 0x100) x ^= 0x11D;
  }
  return static_cast<std::uint8_t>(product);
}

inline std::uint8_t RefPow(std::uint8_t a, int e) {
  if (a == 0) return 0;
  std::uint8_t r = 1;
  for (int i = 0; i < e; ++i) r = RefMul(r, a);
  return r;
}

// The parity data of volume v over `files` (in parity order), each padded
// with zeros to the longest.
inline std::vector<std::uint8_t> RefParity(const std::vector<std::vector<std::uint8_t>>& files,
                                           int v) {
  std::size_t longest = 0;
  for (const auto& f : files) longest = std::max(longest, f.size());
  std::vector<std::uint8_t> out(longest, 0);
  for (std::size_t k = 0; k < files.size(); ++k) {
    const std::uint8_t c = RefPow(static_cast<std::uint8_t>(k + 1), v - 1);
    for (std::size_t p = 0; p < files[k].size(); ++p) out[p] ^= RefMul(c, files[k][p]);
  }
  return out;
}

}  // namespace tarvel::testing
