// SPDX-License-Identifier: GPL-3.0-or-later
// One pass over the data of a set, as the format computes it: the parity of
// a create and the rebuild of a restore are the same loop.  Each output row
// is, byte for byte, the XOR over the input rows of a coefficient times the
// input byte at the same offset, so the bytes do not depend on how the rows
// are cut; the pass moves them in rounds of many chunks of every row at once
// (one long read and one long write per row and round, as many chunks per
// row as the memory budget allows), and every step of a round is spread
// over the action's threads: the arithmetic (in column slices), then the
// writes with the digests taken meanwhile and the reads of the next round.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "parity/region.h"

namespace tarvel {

class Action;
class StreamDigests;

struct ChunkPass {
  std::int64_t end = 0;  // bytes of the longest row
  // Called before each round is read, on the calling thread, with the
  // round's first offset (progress; a stop is heard there).
  std::function<void(std::int64_t pos)> begin;
  // Reads input row `row` from offset `pos` on into all of `into`: its bytes
  // there, then zeros past its end.  On any thread; when several throw, the
  // error of the lowest row passes on, as a loop in order would meet it.
  std::size_t inputs = 0;
  std::function<void(std::size_t row, std::int64_t pos, std::span<std::uint8_t> into)> read;
  // The arithmetic: output row d is the XOR over the input rows s of
  // coefficient(d, s) * input s, in the field of `mulTable` (its product
  // table), with `kernel`.  The coefficients are taken once per pass.
  std::function<std::uint8_t(std::size_t out, std::size_t in)> coefficient;
  const std::uint8_t (*mulTable)[256] = nullptr;
  RegionKernel kernel = RegionKernel::kScalar;
  // On the calling thread once a round is computed: `length` bytes from
  // `pos` in every row, the input rows in `in`, the output rows in `out`
  // (valid until the round's writes have ended).  It queues the digests of
  // what was read and is to be written.
  std::function<void(std::int64_t pos, std::size_t length, std::span<const std::uint8_t* const> in,
                     std::span<const std::uint8_t* const> out)>
      computed;
  // Writes output row `row` from offset `pos` on, out of `bytes` (the
  // round's length of the row: the caller writes those that belong to it).
  // On any thread, the error of the lowest row passing on.
  std::size_t outputs = 0;
  std::function<void(std::size_t row, std::int64_t pos, std::span<const std::uint8_t> bytes)> write;
  StreamDigests* digests = nullptr;  // queued ones hashed beside the writes
};

// Bytes of every row that one round moves when the pass holds `rows` rows
// (its output rows and two rounds of its input rows): a whole number of
// chunks, at least one, at most 80 (4,000,000 bytes), and all rows together
// within 4 MiB when one chunk each allows it.  Larger rounds would save few
// waits and lose the caches: a round's bytes are read, computed, hashed and
// written one step after the other.
[[nodiscard]] std::size_t RoundBytes(std::size_t rows);

// Runs the pass on the action's worker pool, the front end's events let run
// while the calling thread waits.  A stop is heard at each round through
// `begin` (Action::ShowProgress).
void RunChunkPass(Action& action, const ChunkPass& pass);

}  // namespace tarvel
