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

constexpr int kLanesAvx2 = 8;
constexpr int kLanesAvx512 = 16;

#if defined(TARVEL_X86_MD5_KERNELS)
void HashLanesAvx2(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks);
void HashLanesAvx512(std::uint32_t* state, const std::uint8_t* const* data, std::size_t blocks);
#endif

}  // namespace tarvel::md5_detail
