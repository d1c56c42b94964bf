// SPDX-License-Identifier: GPL-3.0-or-later
// GF(2^8) arithmetic: the field with polynomial 285 (0x11D) and generator 2,
// its logarithm and antilogarithm tables, and the product, quotient and power
// tables through which the parity code does its byte arithmetic.
//
// A GaloisField owns its tables; ParityMatrix holds the one instance the
// program uses and rebuilds it at the start of every create and restore.
// Every operation treats a zero operand before it looks up a logarithm, so
// LogTable[0] is never read.
#pragma once

#include <cstdint>

namespace tarvel {

constexpr int kFieldPolynomial = 285;  // x^8 + x^4 + x^3 + x^2 + 1

struct GaloisField {
  // ExpTable[i] = 2^i for i = 0..254; ExpTable[255] = 1 as the product rule
  // can index it.  LogTable[x] = i with 2^i = x for x = 2..255;
  // LogTable[1] = 255 (what the table walk leaves there), LogTable[0] = 0.
  std::uint8_t ExpTable[256] = {};
  std::uint8_t LogTable[256] = {};
  // [i][j] = GfMul(i, j), GfDiv(i, j), GfPow(i, j).  Only element values and
  // exponents below 256 are ever looked up, so 256 x 256 suffices.
  alignas(64) std::uint8_t MulTable[256][256] = {};
  alignas(64) std::uint8_t DivTable[256][256] = {};
  alignas(64) std::uint8_t PowTable[256][256] = {};

  // Fills ExpTable and LogTable by walking the powers of 2.
  void BuildLogTables();
  // Fills MulTable, DivTable and PowTable from the three operations.
  // REQUIRES: BuildLogTables() has run.
  void BuildProductTables();

  // The field product; 0 when either operand is 0.
  [[nodiscard]] std::uint8_t GfMul(int a, int b) const;
  // a / b; 0 when either operand is 0 (dividing by 0 is not an error).
  [[nodiscard]] std::uint8_t GfDiv(int a, int b) const;
  // a multiplied by itself n times (n >= 0); 0 whenever a = 0, also for n = 0.
  [[nodiscard]] std::uint8_t GfPow(int a, int n) const;
};

}  // namespace tarvel
