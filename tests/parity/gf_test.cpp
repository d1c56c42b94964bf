// SPDX-License-Identifier: GPL-3.0-or-later
// The field: table contents, the zero rules and the algebra the parity code
// relies on, checked against an independent carry-less multiplication.
#include "parity/gf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace tarvel {
namespace {

int CarrylessProduct(int a, int b) {
  int product = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (b & (1 << bit)) product ^= a << bit;
  }
  for (int bit = 14; bit >= 8; --bit) {
    if (product & (1 << bit)) product ^= kFieldPolynomial << (bit - 8);
  }
  return product;
}

std::unique_ptr<GaloisField> BuiltField() {
  auto field = std::make_unique<GaloisField>();
  field->BuildLogTables();
  field->BuildProductTables();
  return field;
}

TEST(GaloisFieldTest, LogAndExpTables) {
  const auto gf = BuiltField();
  const int firstPowers[] = {1, 2, 4, 8, 16, 32, 64, 128, 29, 58, 116, 232, 205};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(gf->ExpTable[i], firstPowers[i]) << i;
  EXPECT_EQ(gf->ExpTable[255], 1);
  EXPECT_EQ(gf->LogTable[0], 0);
  EXPECT_EQ(gf->LogTable[1], 255);
  EXPECT_EQ(gf->LogTable[2], 1);
  EXPECT_EQ(gf->LogTable[3], 25);
  EXPECT_EQ(gf->LogTable[29], 8);
  // 2 generates the field: its powers 0..254 are the 255 nonzero elements.
  bool seen[256] = {};
  for (int i = 0; i < 255; ++i) {
    EXPECT_FALSE(seen[gf->ExpTable[i]]) << i;
    seen[gf->ExpTable[i]] = true;
    if (gf->ExpTable[i] != 1) {
      EXPECT_EQ(gf->LogTable[gf->ExpTable[i]], i);
    }
  }
  EXPECT_FALSE(seen[0]);
}

TEST(GaloisFieldTest, ListedValues) {
  const auto gf = BuiltField();
  EXPECT_EQ(gf->GfMul(2, 128), 29);
  EXPECT_EQ(gf->GfMul(3, 3), 5);
  EXPECT_EQ(gf->GfMul(128, 128), 19);
  EXPECT_EQ(gf->GfMul(255, 255), 226);
  EXPECT_EQ(gf->GfMul(1, 1), 1);
  EXPECT_EQ(gf->GfDiv(1, 2), 142);
  EXPECT_EQ(gf->GfMul(2, 142), 1);
  EXPECT_EQ(gf->GfDiv(29, 2), 128);
  EXPECT_EQ(gf->GfDiv(1, 3), 244);
  EXPECT_EQ(gf->GfPow(2, 8), 29);
  EXPECT_EQ(gf->GfPow(3, 2), 5);
  EXPECT_EQ(gf->GfPow(2, 255), 1);
  EXPECT_EQ(gf->GfPow(0, 0), 0);
  EXPECT_EQ(gf->GfPow(3, 3), 15);
  EXPECT_EQ(gf->GfPow(100, 3), 15);
  // Exponents far beyond 255 reduce instead of overflowing.
  EXPECT_EQ(gf->GfPow(3, 255 * 1000000 + 2), 5);
  EXPECT_EQ(gf->GfPow(2, -1), 142);
}

TEST(GaloisFieldTest, OperationsAreTheFieldOperations) {
  const auto gf = BuiltField();
  for (int a = 0; a < 256; ++a) {
    EXPECT_EQ(gf->GfMul(1, a), a);
    EXPECT_EQ(gf->GfDiv(a, 0), 0);
    EXPECT_EQ(gf->GfDiv(0, a), 0);
    EXPECT_EQ(gf->GfPow(a, 0), a == 0 ? 0 : 1);
    int power = a;
    for (int n = 1; n < 20; ++n) {
      ASSERT_EQ(gf->GfPow(a, n), power) << a << "^" << n;
      power = CarrylessProduct(power, a);
    }
    for (int b = 0; b < 256; ++b) {
      ASSERT_EQ(gf->GfMul(a, b), CarrylessProduct(a, b)) << a << "*" << b;
      ASSERT_EQ(gf->MulTable[a][b], gf->GfMul(a, b));
      ASSERT_EQ(gf->DivTable[a][b], gf->GfDiv(a, b));
      ASSERT_EQ(gf->PowTable[a][b], gf->GfPow(a, b));
      if (b != 0) {
        ASSERT_EQ(gf->GfDiv(gf->GfMul(a, b), b), a) << a << "/" << b;
      }
    }
  }
}

TEST(GaloisFieldTest, RebuildingGivesIdenticalTables) {
  const auto first = BuiltField();
  auto second = BuiltField();
  second->BuildLogTables();
  second->BuildProductTables();
  EXPECT_EQ(std::memcmp(first.get(), second.get(), sizeof(GaloisField)), 0);
}

}  // namespace
}  // namespace tarvel
