// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/io/file_hash_pass.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "checksum/hash_jobs.h"
#include "engine/progress.h"

namespace tarvel {

HashJobsOptions PoolHashOptions(WorkerPool& pool, const std::function<void()>& progress) {
  HashJobsOptions options;
  options.threads = pool.Threads();
  options.runSideBySide = [&pool](std::size_t count, const std::function<void(std::size_t)>& body) {
    pool.ForEach(count, body);
  };
  options.progressInterval = std::chrono::milliseconds(kEventIntervalMs);
  if (progress) options.progress = [progress](const HashProgress&) { progress(); };
  return options;
}

FileHashPass::FileHashPass(Env& env, std::vector<FileHashJob> jobs, WorkerPool& pool,
                           DigestMemo* memo, DigestMemo* handOver)
    : env_(env),
      jobs_(std::move(jobs)),
      pool_(pool),
      memo_(memo),
      handOver_(handOver),
      results_(jobs_.size()),
      files_(jobs_.size()),
      over_(std::make_unique<std::atomic<bool>[]>(jobs_.size())),
      read_(std::make_unique<std::atomic<std::int64_t>[]>(jobs_.size())) {}

FileHashPass::~FileHashPass() = default;

bool FileHashPass::Finished(std::size_t i) const {
  return over_[i].load(std::memory_order_acquire);
}

void FileHashPass::ThrowError(std::size_t i) const {
  if (results_[i].error) std::rethrow_exception(results_[i].error);
}

void FileHashPass::Finish(std::size_t i, std::unique_ptr<File>& file) {
  file.reset();
  over_[i].store(true, std::memory_order_release);
}

namespace {

// Where in the `n` bytes at `at`, whose read as a whole failed, the first
// that cannot be read lies, to the 4 KiB block of the file: read again block
// by block (only after a failure), so that the person learns where the
// damage is.
std::int64_t FirstUnreadable(File& file, std::int64_t at, std::size_t n, std::uint8_t* buffer) {
  constexpr std::int64_t kBlock = 4096;
  const std::int64_t end = at + static_cast<std::int64_t>(n);
  for (std::int64_t from = at; from < end;) {
    const std::int64_t to = std::min(end, (from / kBlock + 1) * kBlock);
    const auto want = static_cast<std::size_t>(to - from);
    try {
      if (file.ReadAt(from, buffer, want) < want) break;  // the end: the failure is not found again
    } catch (const FileError&) {
      return from;
    }
    from = to;
  }
  return at;
}

}  // namespace

// The reader of job i.  HashJobs asks for one chunk at a time, never from two
// threads at once, so the job's file and result belong to whichever thread
// asks.
std::size_t FileHashPass::Read(std::size_t i, std::uint64_t offset, std::uint8_t* buffer,
                               std::size_t n) {
  const FileHashJob& job = jobs_[i];
  FileHashResult& result = results_[i];
  std::unique_ptr<File>& file = files_[i];
  // Where the read that is about to be made begins, for the failure's record.
  std::int64_t at = -1;
  try {
    if (!file) {
      try {
        file = env_.OpenRead(job.path);
      } catch (const FileError& error) {
        result.fileFailed = true;
        result.failureReason = error.OsError();
        if (job.mustOpen) throw;
        Finish(i, file);
        return 0;  // the empty message
      }
      result.opened = true;
      result.opening = file->Stamp();
      result.size = result.opening.size;
      for (const DigestMemo* knownBy : {memo_, handOver_}) {
        if (knownBy == nullptr) continue;
        if (const auto known = knownBy->Find(result.opening, job.start, job.limit)) {
          result.remembered = true;
          result.hashed = known->hashed;
          result.whole = known->whole;
          result.head = known->head;
          result.ending = result.opening;
          read_[i].store(result.hashed, std::memory_order_relaxed);
          Finish(i, file);
          return 0;
        }
      }
    }
    std::size_t want = n;
    if (job.limit >= 0) {
      want = static_cast<std::size_t>(std::clamp<std::int64_t>(
          job.limit - static_cast<std::int64_t>(offset), 0, static_cast<std::int64_t>(n)));
    }
    at = job.start + static_cast<std::int64_t>(offset);
    const std::size_t got = want == 0 ? 0 : file->ReadAt(at, buffer, want);
    result.hashed += static_cast<std::int64_t>(got);
    read_[i].store(result.hashed, std::memory_order_relaxed);
    if (got < n) {
      result.ending = file->Stamp();
      Finish(i, file);
    }
    return got;
  } catch (const FileError& error) {
    result.fileFailed = true;
    result.failureReason = error.OsError();
    result.failedAt = at >= 0 && file ? FirstUnreadable(*file, at, n, buffer) : at;
    result.error = std::current_exception();
    Finish(i, file);
    throw;
  } catch (...) {
    result.error = std::current_exception();
    Finish(i, file);
    throw;
  }
}

void FileHashPass::Run(const std::function<void()>& progress) {
  std::vector<HashJob> jobs(jobs_.size());
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    jobs[i].read = [this, i](std::uint64_t offset, std::uint8_t* buffer, std::size_t n) {
      return Read(i, offset, buffer, n);
    };
  }
  const std::optional<std::int64_t> startNs = memo_ != nullptr ? memo_->PassStart() : std::nullopt;
  const std::vector<HashJobResult> done = HashJobs(jobs, PoolHashOptions(pool_, progress));
  for (std::size_t i = 0; i < done.size(); ++i) {
    FileHashResult& r = results_[i];
    if (r.remembered) continue;
    r.whole = done[i].whole;
    r.head = done[i].head;
    if (!r.opened || r.error || done[i].status != HashJobStatus::kDone || r.ending != r.opening) {
      continue;
    }
    const DigestMemo::Digests digests{r.hashed, r.whole, r.head};
    if (startNs) memo_->Remember(r.opening, jobs_[i].start, jobs_[i].limit, digests, *startNs);
    if (jobs_[i].ahead && handOver_ != nullptr) {
      handOver_->Keep(r.opening, jobs_[i].start, jobs_[i].limit, digests);
    }
  }
}

}  // namespace tarvel
