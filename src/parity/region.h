// SPDX-License-Identifier: GPL-3.0-or-later
// Region kernels: "dst = (or ^=) XOR over s of c[d][s] * src[s]" over byte
// rows, the one operation that parity computation and recovery are made of.
//
// There is a portable scalar version, which is the table-lookup definition
// itself (dst[i] ^= MulTable[c][src[i]]) and the reference for every other,
// and SIMD versions that produce the very same bytes: SSSE3, AVX2 and
// AVX-512BW multiply with split 4-bit product tables and byte shuffles, and
// the GFNI versions apply the 8 x 8 bit matrix of "multiply by c" in this
// field with gf2p8affineqb.  BestKernel() is the one dispatch point; tests and
// benchmarks can name any version the CPU has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tarvel {

enum class RegionKernel {
  kScalar,
  kSsse3,
  kAvx2,
  kAvx512bw,
  kGfniAvx2,
  kGfniAvx512,
};

inline constexpr RegionKernel kAllRegionKernels[] = {
    RegionKernel::kScalar,   RegionKernel::kSsse3,    RegionKernel::kAvx2,
    RegionKernel::kAvx512bw, RegionKernel::kGfniAvx2, RegionKernel::kGfniAvx512,
};

// One multiply-accumulate job over `length` bytes.  For d = 0..dstCount-1:
//   dst[d][i] = (accumulate ? dst[d][i] : 0) XOR
//               XOR over s = 0..srcCount-1 of MulTable[coef(d, s)][src[s][i]]
// where coef(d, s) = coefs[d * coefStride + s].  Rows may have any alignment;
// destination rows must not overlap sources or each other.  With srcCount 0
// the destinations are zeroed (or left alone when accumulating).
struct RegionJob {
  const std::uint8_t (*mulTable)[256] = nullptr;  // the field's product table
  std::size_t length = 0;
  int srcCount = 0;
  const std::uint8_t* const* src = nullptr;
  int dstCount = 0;
  std::uint8_t* const* dst = nullptr;
  const std::uint8_t* coefs = nullptr;
  std::size_t coefStride = 0;
  bool accumulate = false;
};

// Name for reports and test labels: "scalar", "ssse3", "avx2", "avx512bw",
// "gfni-avx2", "gfni-avx512".
[[nodiscard]] std::string_view RegionKernelName(RegionKernel kernel);
// True when this build contains the version and the CPU (and OS) can run it.
[[nodiscard]] bool RegionKernelSupported(RegionKernel kernel);
// The fastest supported version; decided once per process.
[[nodiscard]] RegionKernel BestRegionKernel();

// Runs the job with the given version.  The columns are processed in
// cache-sized tiles and the destinations in groups, so that every source
// byte is read few times and every destination byte is stored once.
// REQUIRES: RegionKernelSupported(kernel).
void RunRegionJob(RegionKernel kernel, const RegionJob& job);

// dst ^= c * src over the common length of the two spans.
// REQUIRES: RegionKernelSupported(kernel), src.size() == dst.size().
void MulAddRegion(RegionKernel kernel, const std::uint8_t (*mulTable)[256], std::uint8_t c,
                  std::span<const std::uint8_t> src, std::span<std::uint8_t> dst);

}  // namespace tarvel
