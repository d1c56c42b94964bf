// SPDX-License-Identifier: GPL-3.0-or-later
// Every region kernel version the CPU has against the table-lookup
// definition: zeros, random data, every coefficient, every short length and
// lengths around a chunk, misaligned rows, and guard bytes that must survive.
#include "parity/region.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "parity/gf.h"

namespace tarvel {

// Names the version in gtest's messages.
void PrintTo(RegionKernel kernel, std::ostream* out) { *out << RegionKernelName(kernel); }

namespace {

constexpr std::size_t kGuard = 64;
constexpr std::uint8_t kGuardByte = 0xA5;

const GaloisField& Field() {
  static const std::unique_ptr<GaloisField> field = [] {
    auto f = std::make_unique<GaloisField>();
    f->BuildLogTables();
    f->BuildProductTables();
    return f;
  }();
  return *field;
}

std::vector<RegionKernel> SupportedKernels() {
  std::vector<RegionKernel> kernels;
  for (RegionKernel k : kAllRegionKernels) {
    if (RegionKernelSupported(k)) kernels.push_back(k);
  }
  return kernels;
}

// A row with guard bytes on both sides, placed `offset` bytes past a 64-byte
// boundary.
class GuardedRow {
 public:
  GuardedRow(std::size_t length, std::size_t offset)
      : storage_(length + offset + 2 * kGuard + 64, kGuardByte), length_(length) {
    const auto base = reinterpret_cast<std::uintptr_t>(storage_.data()) + kGuard;
    start_ = (base + 63) / 64 * 64 + offset - reinterpret_cast<std::uintptr_t>(storage_.data());
  }
  std::uint8_t* data() { return storage_.data() + start_; }
  std::span<std::uint8_t> span() { return {data(), length_}; }
  bool GuardsIntact() const {
    for (std::size_t i = 0; i < storage_.size(); ++i) {
      if ((i < start_ || i >= start_ + length_) && storage_[i] != kGuardByte) return false;
    }
    return true;
  }

 private:
  std::vector<std::uint8_t> storage_;
  std::size_t length_;
  std::size_t start_;
};

void Fill(std::span<std::uint8_t> bytes, std::mt19937& rng) {
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
}

class RegionKernelTest : public ::testing::TestWithParam<RegionKernel> {};

TEST_P(RegionKernelTest, MulAddMatchesTheDefinition) {
  std::mt19937 rng(1234);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 1; n <= 300; ++n) lengths.push_back(n);
  for (std::size_t n = 49920; n <= 50080; n += 7) lengths.push_back(n);
  for (std::size_t length : lengths) {
    const std::size_t srcOffset = length % 5;
    const std::size_t dstOffset = (length / 5) % 3;
    GuardedRow src(length, srcOffset);
    GuardedRow dst(length, dstOffset);
    const bool zeros = length % 11 == 0;
    if (!zeros) Fill(src.span(), rng);
    Fill(dst.span(), rng);
    const auto c = static_cast<std::uint8_t>(length % 4 == 0 ? length / 4 % 256 : rng());
    std::vector<std::uint8_t> expected(dst.data(), dst.data() + length);
    for (std::size_t i = 0; i < length; ++i) expected[i] ^= Field().MulTable[c][src.data()[i]];

    MulAddRegion(GetParam(), Field().MulTable, c, src.span(), dst.span());
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), dst.data()))
        << "length " << length << " c " << int{c};
    ASSERT_TRUE(dst.GuardsIntact()) << "length " << length;
    ASSERT_TRUE(src.GuardsIntact()) << "length " << length;
  }
}

struct DotCase {
  int srcCount;
  int dstCount;
  std::size_t length;
  bool accumulate;
};

TEST_P(RegionKernelTest, DotProductMatchesTheDefinition) {
  const DotCase cases[] = {
      {1, 1, 1, false},     {0, 3, 100, false},     {0, 2, 100, true},     {3, 1, 63, false},
      {3, 2, 64, true},     {4, 3, 65, false},      {5, 5, 129, true},     {7, 6, 1000, false},
      {8, 7, 333, true},    {9, 8, 2049, false},    {10, 9, 777, false},   {20, 10, 50000, false},
      {20, 17, 4099, true}, {100, 10, 5000, false}, {255, 5, 5001, false}, {300, 3, 777, true},
      {256, 1, 200, false},
  };
  std::mt19937 rng(99);
  for (const DotCase& dc : cases) {
    std::vector<std::unique_ptr<GuardedRow>> srcRows, dstRows;
    std::vector<const std::uint8_t*> src;
    std::vector<std::uint8_t*> dst;
    for (int s = 0; s < dc.srcCount; ++s) {
      srcRows.push_back(std::make_unique<GuardedRow>(dc.length, rng() % 64));
      Fill(srcRows.back()->span(), rng);
      src.push_back(srcRows.back()->data());
    }
    for (int d = 0; d < dc.dstCount; ++d) {
      dstRows.push_back(std::make_unique<GuardedRow>(dc.length, rng() % 64));
      Fill(dstRows.back()->span(), rng);
      dst.push_back(dstRows.back()->data());
    }
    // Stride wider than the source count, as in the parity tables; the
    // 256-source case holds every coefficient once.
    const std::size_t stride = static_cast<std::size_t>(dc.srcCount) + 3;
    std::vector<std::uint8_t> coefs(stride * dc.dstCount);
    for (std::size_t i = 0; i < coefs.size(); ++i) {
      coefs[i] = dc.srcCount == 256 ? static_cast<std::uint8_t>(i % stride) : rng();
    }
    std::vector<std::vector<std::uint8_t>> expected;
    for (int d = 0; d < dc.dstCount; ++d) {
      std::vector<std::uint8_t> row(dc.length, 0);
      if (dc.accumulate) row.assign(dst[d], dst[d] + dc.length);
      for (int s = 0; s < dc.srcCount; ++s) {
        const auto* product = Field().MulTable[coefs[d * stride + s]];
        for (std::size_t i = 0; i < dc.length; ++i) row[i] ^= product[src[s][i]];
      }
      expected.push_back(std::move(row));
    }

    RegionJob job;
    job.mulTable = Field().MulTable;
    job.length = dc.length;
    job.srcCount = dc.srcCount;
    job.src = src.data();
    job.dstCount = dc.dstCount;
    job.dst = dst.data();
    job.coefs = coefs.data();
    job.coefStride = stride;
    job.accumulate = dc.accumulate;
    RunRegionJob(GetParam(), job);

    const std::string label = std::to_string(dc.srcCount) + " x " + std::to_string(dc.dstCount) +
                              " over " + std::to_string(dc.length);
    for (int d = 0; d < dc.dstCount; ++d) {
      ASSERT_TRUE(std::equal(expected[d].begin(), expected[d].end(), dst[d]))
          << label << " dst " << d;
      ASSERT_TRUE(dstRows[d]->GuardsIntact()) << label << " dst " << d;
    }
  }
}

TEST(RegionKernelDispatch, BestIsSupportedAndScalarAlwaysIs) {
  EXPECT_TRUE(RegionKernelSupported(RegionKernel::kScalar));
  EXPECT_TRUE(RegionKernelSupported(BestRegionKernel()));
  std::string names;
  for (RegionKernel k : SupportedKernels()) names += std::string(RegionKernelName(k)) + " ";
  std::cout << "[          ] kernels on this CPU: " << names << "(best "
            << RegionKernelName(BestRegionKernel()) << ")\n";
}

INSTANTIATE_TEST_SUITE_P(AllSupported, RegionKernelTest, ::testing::ValuesIn(SupportedKernels()),
                         [](const auto& info) {
                           std::string name(RegionKernelName(info.param));
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace tarvel
