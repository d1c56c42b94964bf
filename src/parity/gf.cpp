// SPDX-License-Identifier: GPL-3.0-or-later
#include "parity/gf.h"

namespace tarvel {

void GaloisField::BuildLogTables() {
  int x = 1;
  // 256 steps: the last one comes back to x = 1, writes ExpTable[255] = 1 and
  // leaves 255 in LogTable[1].
  for (int i = 0; i < 256; ++i) {
    ExpTable[i] = static_cast<std::uint8_t>(x);
    LogTable[x] = static_cast<std::uint8_t>(i);
    x <<= 1;
    if (x > 255) x ^= kFieldPolynomial;
  }
  ExpTable[255] = ExpTable[0];
}

std::uint8_t GaloisField::GfMul(int a, int b) const {
  if (a == 0 || b == 0) return 0;
  int s = LogTable[a & 0xFF] + LogTable[b & 0xFF];  // 2..510
  if (s > 255) s -= 255;
  return ExpTable[s];
}

std::uint8_t GaloisField::GfDiv(int a, int b) const {
  if (a == 0 || b == 0) return 0;
  int s = LogTable[a & 0xFF] - LogTable[b & 0xFF];  // -254..254
  if (s < 0) s += 255;
  return ExpTable[s];
}

std::uint8_t GaloisField::GfPow(int a, int n) const {
  if ((a & 0xFF) == 0) return 0;
  // Reduce n first so that the product cannot overflow 32 bits; the residue
  // is the same as that of LogTable[a] * n.
  int s = (LogTable[a & 0xFF] * (n % 255)) % 255;
  if (s < 0) s += 255;  // a negative exponent gives the inverse power
  return ExpTable[s];
}

void GaloisField::BuildProductTables() {
  for (int i = 0; i < 256; ++i) {
    for (int j = 0; j < 256; ++j) {
      MulTable[i][j] = GfMul(i, j);
      DivTable[i][j] = GfDiv(i, j);
      PowTable[i][j] = GfPow(i, j);
    }
  }
}

}  // namespace tarvel
