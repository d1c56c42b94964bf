// SPDX-License-Identifier: GPL-3.0-or-later
// Many files hashed at once: the analysis, the check of a set's files and
// volumes and the content search read all their files through one pass of
// the multi-buffer MD5 on several threads, in fixed chunks, with the same
// results as the one-file digests of file_digests.h.  This is the one place
// where the engine hashes many files; creating, checking and restoring all
// come here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "checksum/hash_jobs.h"
#include "checksum/md5.h"
#include "engine/io/digest_memo.h"
#include "engine/io/worker_pool.h"
#include "platform/env.h"

namespace tarvel {

// One file of a FileHashPass.
struct FileHashJob {
  std::string path;
  // The first byte hashed: 0 for md5file, 32 for md5from32.
  std::int64_t start = 0;
  // Bytes hashed at most from `start` on (16384 for md5first16k); -1: to
  // the end of the file.
  std::int64_t limit = -1;
  // A file that cannot be opened is an error (the FileError of the open)
  // rather than the empty message.
  bool mustOpen = false;
  // Read for the next pass of the same check rather than for this one's
  // caller: its digests go to the pass's hand-over when the file was read
  // to its end unchanged, and nothing else of it is looked at.
  bool ahead = false;
};

// What a pass learnt of one file.
struct FileHashResult {
  bool opened = false;
  std::int64_t size = 0;  // the file's size when it was opened
  // The file's stamp when it was opened and when its last byte had been
  // read, and the bytes hashed: a file that changed while it was read shows
  // a difference (a file that ended early or grew, a new change time).
  FileStamp opening{};
  FileStamp ending{};
  std::int64_t hashed = 0;
  // The FileError of a read (or, with mustOpen, of the open); the digests
  // mean nothing then.
  std::exception_ptr error;
  // A failure of the file layer: the open failed (`opened` false; without
  // mustOpen the digests are then those of the empty message and `error`
  // stays empty) or a read did (`error` holds it).  Its system reason
  // (errno, 0 when unknown), and the offset in the file at which the read
  // that failed began (-1 when the open failed).
  bool fileFailed = false;
  int failureReason = 0;
  std::int64_t failedAt = -1;
  md5digest whole{};  // of the bytes hashed, as far as the file goes
  md5digest head{};   // of the first 16384 of them
  // The file had the stamp of one that this action has hashed already: its
  // digests are the memo's, and it was not read again.
  bool remembered = false;
};

// Hashes many files at once.  Each file is opened when its first chunk is
// read and closed when its last has been, read through the Env in chunks of
// a fixed size, so memory stays fixed whatever the file sizes.  Results are
// exactly those of md5file, md5first16k and md5from32: a file that cannot
// be opened gives the empty message, one that ends sooner than its size is
// hashed as far as it goes, and a failed read is kept as the job's error for
// the caller to throw when its turn comes, so that errors surface for the
// same file, in the same order, as when files are hashed one by one.
//
// The pass runs on the action's worker pool, the calling thread working
// too.  Worker threads only read and hash; the progress callback runs on the
// calling thread, between its chunks and at least every kEventIntervalMs
// while it waits, and may talk to the user; if it throws, the pass stops
// and the exception passes on.
// Options that run HashJobs on the action's `pool`, calling `progress` (when
// given) from the calling thread about every kEventIntervalMs.
HashJobsOptions PoolHashOptions(WorkerPool& pool, const std::function<void()>& progress);

class FileHashPass {
 public:
  // With a memo, a file whose stamp at its opening is one the memo knows
  // for the same bytes is not read, and each file read to its end
  // unchanged is remembered.  A hand-over (DigestMemo::Keep) serves the
  // same way, and takes the digests of the jobs read ahead.
  FileHashPass(Env& env, std::vector<FileHashJob> jobs, WorkerPool& pool,
               DigestMemo* memo = nullptr, DigestMemo* handOver = nullptr);
  ~FileHashPass();
  FileHashPass(const FileHashPass&) = delete;
  FileHashPass& operator=(const FileHashPass&) = delete;

  // Runs the pass; afterwards every job is Finished and its Result complete.
  void Run(const std::function<void()>& progress);

  [[nodiscard]] std::size_t Count() const { return jobs_.size(); }
  // True once the reading of job i is over (it ended, failed or could not
  // be opened).  Safe to ask while the pass runs.
  [[nodiscard]] bool Finished(std::size_t i) const;
  // REQUIRES: Finished(i).  While the pass runs only opened, size, the stamps,
  // hashed and error are set; the digests once Run has returned.
  [[nodiscard]] const FileHashResult& Result(std::size_t i) const { return results_[i]; }
  // Throws job i's error, if it has one.  REQUIRES: Finished(i).
  void ThrowError(std::size_t i) const;
  // Bytes of job i read so far; safe to ask while the pass runs.
  [[nodiscard]] std::int64_t BytesRead(std::size_t i) const {
    return read_[i].load(std::memory_order_relaxed);
  }

 private:
  std::size_t Read(std::size_t i, std::uint64_t offset, std::uint8_t* buffer, std::size_t n);
  void Finish(std::size_t i, std::unique_ptr<File>& file);

  Env& env_;
  std::vector<FileHashJob> jobs_;
  WorkerPool& pool_;
  DigestMemo* memo_;
  DigestMemo* handOver_;
  std::vector<FileHashResult> results_;
  std::vector<std::unique_ptr<File>> files_;  // open while a job is read
  std::unique_ptr<std::atomic<bool>[]> over_;
  std::unique_ptr<std::atomic<std::int64_t>[]> read_;
};

}  // namespace tarvel
