// SPDX-License-Identifier: GPL-3.0-or-later
// One pass over the data of a set in chunks, as the format computes it: the
// parity of a create and the rebuild of a restore are the same loop.  For
// each chunk position (0, kChunkSize, ... below `end`) the input rows are
// read on all threads, the arithmetic runs, and the output rows are written
// while the digests queued meanwhile are taken, shared among the threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tarvel {

class Action;
class StreamDigests;

struct ChunkPass {
  std::int64_t end = 0;  // bytes of the longest row
  // Called first at each position, on the calling thread (progress).
  std::function<void(std::int64_t pos)> begin;
  // Reads input row `row` at `pos`; on any thread.  When several throw, the
  // error of the lowest row passes on, as a loop in order would meet it.
  std::size_t inputs = 0;
  std::function<void(std::size_t row, std::int64_t pos)> read;
  // The arithmetic, on the calling thread, once every row is read; it
  // queues the digests of what is to be written.
  std::function<void(std::int64_t pos)> compute;
  // Writes output row `row` at `pos`; on any thread, the error of the
  // lowest row passing on.
  std::size_t outputs = 0;
  std::function<void(std::size_t row, std::int64_t pos)> write;
  StreamDigests* digests = nullptr;  // queued ones hashed beside the writes
};

// Runs the pass on the action's worker pool, the front end's events let run
// while the calling thread waits.  A stop is heard at each chunk through
// `begin` (Action::ShowProgress).
void RunChunkPass(Action& action, const ChunkPass& pass);

}  // namespace tarvel
