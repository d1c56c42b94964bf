// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/set/chunk_pass.h"

#include <algorithm>
#include <vector>

#include "engine/io/stream_digests.h"
#include "engine/io/worker_pool.h"
#include "engine/set/action.h"
#include "parity/rs.h"

namespace tarvel {
namespace {

constexpr std::size_t kRoundBudget = 4 << 20;  // bytes of all rows of a round
constexpr std::size_t kMaxRoundChunks = 80;
// The arithmetic of a round is cut into column slices of at least this many
// bytes, on 64-byte boundaries, a few per thread.
constexpr std::size_t kMinSlice = 64 << 10;
constexpr std::size_t kSlicesPerThread = 4;

// The rows of one round: `count` rows of `stride` bytes, each on a 64-byte
// boundary.
class RoundRows {
 public:
  RoundRows(std::size_t count, std::size_t length)
      : stride_((length + 63) / 64 * 64), storage_(count * stride_ + 64) {
    std::uint8_t* base = storage_.data();
    base += (64 - reinterpret_cast<std::uintptr_t>(base) % 64) % 64;
    for (std::size_t r = 0; r < count; ++r) rows_.push_back(base + r * stride_);
  }
  std::uint8_t* Row(std::size_t r) const { return rows_[r]; }
  std::span<std::uint8_t* const> All() const { return rows_; }

 private:
  std::size_t stride_;
  std::vector<std::uint8_t> storage_;
  std::vector<std::uint8_t*> rows_;
};

}  // namespace

std::size_t RoundBytes(std::size_t rows) {
  const std::size_t chunks = std::clamp<std::size_t>(
      kRoundBudget / (std::max<std::size_t>(rows, 1) * kChunkSize), 1, kMaxRoundChunks);
  return chunks * kChunkSize;
}

void RunChunkPass(Action& action, const ChunkPass& pass) {
  // Two rounds of input rows: the next round is read into one while the
  // digests of the other are taken.
  const std::size_t roundBytes = RoundBytes(2 * pass.inputs + pass.outputs);
  WorkerPool& workers = action.Pool(std::max({pass.inputs, pass.outputs, roundBytes / kMinSlice}));
  const auto events = [&action] { action.PaceEvents(); };
  const auto parts = static_cast<std::size_t>(workers.Threads());

  // The coefficients, output-major, and the rows of the rounds.
  std::vector<std::uint8_t> coefs(pass.outputs * pass.inputs);
  for (std::size_t d = 0; d < pass.outputs; ++d) {
    for (std::size_t s = 0; s < pass.inputs; ++s)
      coefs[d * pass.inputs + s] = pass.coefficient(d, s);
  }
  const RoundRows inputs[2] = {RoundRows(pass.inputs, roundBytes),
                               RoundRows(pass.inputs, roundBytes)};
  const RoundRows out(pass.outputs, roundBytes);
  const std::vector<const std::uint8_t*> outRows(out.All().begin(), out.All().end());
  const auto length = [&](std::int64_t pos) {
    return static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(roundBytes), pass.end - pos));
  };
  const auto read = [&](const RoundRows& in, std::size_t row, std::int64_t pos) {
    pass.read(row, pos, std::span(in.Row(row), length(pos)));
  };

  if (pass.end <= 0) return;
  pass.begin(0);
  workers.ForEach(
      pass.inputs, [&](std::size_t row) { read(inputs[0], row, 0); }, events);
  for (std::int64_t pos = 0, round = 0; pos < pass.end;
       pos += static_cast<std::int64_t>(roundBytes), ++round) {
    const RoundRows& in = inputs[round % 2];
    const RoundRows& next = inputs[(round + 1) % 2];
    const std::size_t bytes = length(pos);

    // The arithmetic in column slices, a few per thread (no slice shorter
    // than kMinSlice), so that a thread the system holds back leaves its
    // share to the others: every slice is the same job on other bytes.
    const std::size_t slices =
        std::clamp<std::size_t>(bytes / kMinSlice, 1, kSlicesPerThread * parts);
    const std::size_t sliceBytes = (bytes / slices + 63) / 64 * 64;
    workers.ForEach(
        slices,
        [&](std::size_t slice) {
          const std::size_t from = std::min(bytes, slice * sliceBytes);
          const std::size_t to = std::min(bytes, from + sliceBytes);
          if (from == to || pass.outputs == 0) return;
          std::vector<const std::uint8_t*> s(pass.inputs);
          std::vector<std::uint8_t*> d(pass.outputs);
          for (std::size_t r = 0; r < pass.inputs; ++r) s[r] = in.Row(r) + from;
          for (std::size_t r = 0; r < pass.outputs; ++r) d[r] = out.Row(r) + from;
          RegionJob job;
          job.mulTable = pass.mulTable;
          job.length = to - from;
          job.srcCount = static_cast<int>(pass.inputs);
          job.src = s.data();
          job.dstCount = static_cast<int>(pass.outputs);
          job.dst = d.data();
          job.coefs = coefs.data();
          job.coefStride = pass.inputs;
          job.accumulate = false;
          RunRegionJob(pass.kernel, job);
        },
        events);
    const std::vector<const std::uint8_t*> inRows(in.All().begin(), in.All().end());
    pass.computed(pos, bytes, inRows, outRows);

    // Tasks 0 .. parts-1 take the digests, then one task per output row
    // writes, then one per input row reads the next round: a write's error
    // passes on before a later read's, as in a loop round by round.
    const std::int64_t nextPos = pos + static_cast<std::int64_t>(roundBytes);
    const bool more = nextPos < pass.end;
    if (more) pass.begin(nextPos);
    workers.ForEach(
        parts + pass.outputs + (more ? pass.inputs : 0),
        [&](std::size_t task) {
          if (task < parts) {
            if (pass.digests != nullptr) {
              pass.digests->Run(task, parts, pass.outputs + (more ? pass.inputs : 0));
            }
          } else if (task < parts + pass.outputs) {
            const std::size_t row = task - parts;
            pass.write(row, pos, std::span<const std::uint8_t>(out.Row(row), bytes));
          } else {
            read(next, task - parts - pass.outputs, nextPos);
          }
        },
        events);
  }
}

}  // namespace tarvel
