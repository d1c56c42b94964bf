// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/set/chunk_pass.h"

#include <algorithm>

#include "engine/io/stream_digests.h"
#include "engine/io/worker_pool.h"
#include "engine/set/action.h"
#include "parity/rs.h"

namespace tarvel {

void RunChunkPass(Action& action, const ChunkPass& pass) {
  WorkerPool& workers = action.Pool(std::max(pass.inputs, pass.outputs));
  const auto events = [&action] { action.PaceEvents(); };
  const auto parts = static_cast<std::size_t>(workers.Threads());
  for (std::int64_t pos = 0; pos < pass.end; pos += kChunkSize) {
    pass.begin(pos);
    workers.ForEach(
        pass.inputs, [&](std::size_t row) { pass.read(row, pos); }, events);
    pass.compute(pos);
    // Tasks 0 .. parts-1 take the digests, one task per output row writes.
    workers.ForEach(
        parts + pass.outputs,
        [&](std::size_t task) {
          if (task < parts) {
            if (pass.digests != nullptr) pass.digests->Run(task, parts);
            return;
          }
          pass.write(task - parts, pos);
        },
        events);
  }
}

}  // namespace tarvel
