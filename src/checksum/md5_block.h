// SPDX-License-Identifier: GPL-3.0-or-later
// The interface between the MD5 drivers (md5.cpp, md5_lanes.cpp) and the
// block functions: the one-stream block function and the multi-lane SIMD
// versions, each compiled in its own file with its own instruction-set flags.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvel::md5_detail {

// Lanes of the widest version; the lane state is laid out for it.
constexpr int kMaxLanes = 16;

// Hashes `blocks` consecutive 64-byte blocks at `p` into `state` (A, B, C, D).
void HashBlocks(std::uint32_t state[4], const std::uint8_t* p, std::size_t blocks);

// A multi-lane version hashes `blocks` consecutive 64-byte blocks of each of
// its lanes at once.  `state` points at lane 0 of a word-major state of
// kMaxLanes columns: word w of lane l is state[w * kMaxLanes + l].  `data[l]`
// is lane l's first block; all lanes advance by the same number of blocks.
using LanesFn = void (*)(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks);

// Two streams of one-stream code interleaved: for any CPU.
void HashLanesPair(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks);

#if defined(TARVEL_X86_MD5_KERNELS)
// AVX2: 4 lanes in xmm, 8 in ymm registers.
void HashLanesAvx2x4(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks);
void HashLanesAvx2(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks);
// AVX-512 (with the VL forms for xmm and ymm): 4, 8 and 16 lanes.
void HashLanesAvx512x4(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks);
void HashLanesAvx512x8(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks);
void HashLanesAvx512(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks);
#endif

}  // namespace tarvel::md5_detail
