// SPDX-License-Identifier: GPL-3.0-or-later
// Digests of many byte sources at once: the multi-buffer MD5 on every core.
//
// A pass over a set hashes up to a few hundred files, each an independent
// stream.  HashJobs reads them in fixed-size chunks round-robin, feeds the
// chunks to the lanes of the multi-buffer MD5 and spreads the work over the
// caller's worker threads, so memory stays fixed (threads x 16 x chunkSize)
// whatever the sizes of the sources, and the digests come out as fast as the
// sources deliver bytes.
//
// It knows nothing of files: each job is a reader callback.  For every job
// it computes the digest of all its bytes, of its first 16384 bytes, and on
// request of its bytes from offset 32 to the end: the digests md5buffer
// gives over those bytes.
//
// Jobs are started in their order, and at most 32 per thread are in
// progress at a time (read round-robin), whatever their number: so only
// some sources are open at once, and jobs end roughly in their order.
//
// Threads.  HashJobs starts none: it runs its parts side by side on the
// caller's worker pool (runSideBySide), the calling thread working too.
// A job's reader is called for one chunk at a time, at increasing offsets,
// never by two threads at once, but possibly by a different thread for each
// chunk; readers of different jobs run at the same time.  The progress
// callback runs only on the calling thread.  Nothing else is shared: a job
// whose reader fails or throws ends alone, and no other job's digest changes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <span>
#include <vector>

#include "checksum/md5.h"
#include "checksum/md5_lanes.h"

namespace tarvel {

struct HashJob {
  // Returned by a reader whose source cannot be read.
  static constexpr std::size_t kReadFailed = SIZE_MAX;

  // Reads up to `n` bytes of the source at `offset` into `buf` and returns
  // how many it read.  Fewer than `n` (0 included) means the source ends
  // there: it is not asked again.  kReadFailed, or an exception, ends the job
  // as failed.  REQUIRES: the result is at most n, or kReadFailed.
  std::function<std::size_t(std::uint64_t offset, std::uint8_t* buf, std::size_t n)> read;
  // Also compute the digest of the bytes from offset 32 to the end.
  bool wantFrom32 = false;
};

enum class HashJobStatus {
  kDone,    // the source was read to its end
  kFailed,  // the reader returned kReadFailed (or more than it was asked for)
  kThrew,   // the reader threw; `error` holds the exception
};

struct HashJobResult {
  HashJobStatus status = HashJobStatus::kFailed;
  std::exception_ptr error;  // kThrew: what the reader threw
  std::uint64_t size = 0;    // bytes the source delivered
  // kDone: the digests of the source's bytes.  Otherwise all three are the
  // digest of the empty message, as for a file that cannot be read.
  md5digest whole{};   // all bytes
  md5digest head{};    // the first 16384 bytes (all when there are fewer)
  md5digest from32{};  // bytes 32 to the end (the empty message up to 32
                       // bytes); only when the job asked for it
};

struct HashProgress {
  std::uint64_t bytes = 0;   // bytes read so far, all jobs together
  std::size_t jobsDone = 0;  // jobs finished, failed ones included
  std::size_t jobCount = 0;
};

// Runs body(0) .. body(count - 1) side by side, the calling thread running
// at least one of them, and returns when all have ended: the caller's worker
// pool.  The bodies never throw.
using SideBySideRunner =
    std::function<void(std::size_t count, const std::function<void(std::size_t)>& body)>;

struct HashJobsOptions {
  // Threads that hash, the calling thread included; 0 means one per online
  // CPU, 1 means the calling thread alone.  Never more than UsableThreads
  // allows nor than there are jobs.
  int threads = 0;
  // Required for more than one thread: the pass runs `threads` parts on it.
  // Empty: the calling thread does all the work alone, whatever `threads`.
  SideBySideRunner runSideBySide;
  // While the calling thread waits for the others, it reports progress at
  // least this often, so that what the progress callback does (keeping the
  // windows painted) never waits on a slow read.
  std::chrono::milliseconds progressInterval{30};
  // Bytes read per job per round.  The default keeps the sixteen chunks of
  // one thread about the size of a core's second-level cache.
  // REQUIRES: > 0.
  std::size_t chunkSize = 64 * 1024;
  // REQUIRES: Md5KernelSupported(kernel).
  Md5Kernel kernel = BestMd5Kernel();
  // Called on the calling thread between its chunks and at least every
  // progressInterval while it waits for the others.  If it throws, the
  // workers stop after their current chunk and the exception reaches
  // HashJobs' caller.
  std::function<void(const HashProgress&)> progress;
};

// The threads that a requested count stands for: 0 = one per online CPU;
// any count at most four per online CPU, where more would only wait on one
// another.  At least 1.
[[nodiscard]] int UsableThreads(int requested);

// Hashes every job; result i belongs to jobs[i].
// REQUIRES: every job has a reader; options as documented above.
[[nodiscard]] std::vector<HashJobResult> HashJobs(std::span<const HashJob> jobs,
                                                  const HashJobsOptions& options = {});

}  // namespace tarvel
