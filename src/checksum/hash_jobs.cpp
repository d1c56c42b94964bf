// SPDX-License-Identifier: GPL-3.0-or-later
#include "checksum/hash_jobs.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace tarvel {
namespace {

constexpr std::uint64_t kControlOffset = 32;  // the from-32 digest starts here

// A job between two rounds: where its source goes on, and its contexts.
struct Pending {
  std::size_t index = 0;
  std::uint64_t offset = 0;  // bytes read so far
  md5state whole{};          // valid once offset > 0
  md5state from32{};
  bool haveHead = false;
  md5digest head{};
};

// What one round did with one job.
struct Slot {
  int whole = -1;  // lanes
  int from32 = -1;
  bool marked = false;
  bool ended = false;
  bool failed = false;
  std::exception_ptr error;
};

constexpr int kThreadsPerCpu = 4;

int OnlineCpus() {
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

// One call of HashJobs: the pool of jobs waiting for their next chunk, shared
// by the threads under one mutex, and the results.
class Pass {
 public:
  Pass(std::span<const HashJob> jobs, const HashJobsOptions& options)
      : jobs_(jobs), options_(options), results_(jobs.size()), unfinished_(jobs.size()) {
    // Without the caller's pool the calling thread works alone.
    const int wanted = options.runSideBySide ? UsableThreads(options.threads) : 1;
    threads_ = static_cast<int>(std::clamp<std::size_t>(static_cast<std::size_t>(wanted), 1,
                                                        std::max<std::size_t>(jobs.size(), 1)));
    window_ = 2 * static_cast<std::size_t>(Md5Lanes::kLanes) * static_cast<std::size_t>(threads_);
    Admit();
  }

  std::vector<HashJobResult> Run() {
    if (options_.runSideBySide && threads_ > 1) {
      // On the caller's pool: whichever body the calling thread runs does
      // the calling thread's part (the progress callback).
      const std::thread::id caller = std::this_thread::get_id();
      options_.runSideBySide(static_cast<std::size_t>(threads_), [this, caller](std::size_t) {
        if (std::this_thread::get_id() == caller) {
          WorkCalling();
        } else {
          WorkGuarded();
        }
      });
    } else {
      WorkCalling();
    }
    if (failure_) std::rethrow_exception(failure_);
    Report(Snapshot());
    return std::move(results_);
  }

 private:
  // Ends the pass early; the first failure is the one passed on.
  void Stop(std::exception_ptr failure) {
    std::lock_guard lock(mutex_);
    stop_ = true;
    if (failure && !failure_) failure_ = failure;
    changed_.notify_all();
  }

  // The calling thread's part: its share of the work and the progress
  // reports, until the pass is over; then the others stop too.
  void WorkCalling() {
    try {
      Work(true);
    } catch (...) {
      Stop(std::current_exception());
    }
    Stop(nullptr);
  }

  void WorkGuarded() {
    try {
      Work(false);
    } catch (...) {
      Stop(std::current_exception());
    }
  }

  HashProgress Snapshot() {
    std::lock_guard lock(mutex_);
    progressDue_ = false;
    return {bytes_, jobs_.size() - unfinished_, jobs_.size()};
  }

  void Report(const HashProgress& progress) const {
    if (options_.progress) options_.progress(progress);
  }

  // Gives back the jobs of this thread's last round (the ones that ended are
  // done, the others wait for their next chunk) and takes this thread's
  // share of the waiting jobs for the next round; waits while other threads
  // hold all of them.  Giving back and taking happen under one lock, so a
  // job that no other thread needs stays with the thread that has it in its
  // cache.  False when the pass is over.
  bool Take(std::vector<Pending>& round, bool callingThread) {
    std::unique_lock lock(mutex_);
    if (!round.empty()) {
      for (const Pending& p : round) {
        if (p.index == kFinished) {
          --unfinished_;
          --started_;
        } else {
          pool_.push_back(p);
        }
      }
      round.clear();
      Admit();
    }
    for (;;) {
      if (unfinished_ == 0) changed_.notify_all();  // the others may end too
      if (stop_ || unfinished_ == 0) return false;
      if (!pool_.empty()) break;
      if (callingThread && progressDue_) {
        lock.unlock();
        Report(Snapshot());
        lock.lock();
        continue;
      }
      if (!callingThread) {
        changed_.wait(lock);
      } else if (changed_.wait_for(lock, options_.progressInterval) == std::cv_status::timeout) {
        progressDue_ = true;
      }
    }
    // An even share of the unfinished jobs, so that every thread keeps busy
    // while there are fewer jobs than lanes on all threads together.
    const std::size_t share = (unfinished_ + threads_ - 1) / threads_;
    int lanes = 0;
    while (!pool_.empty() && round.size() < share) {
      const int need = jobs_[pool_.front().index].wantFrom32 ? 2 : 1;
      if (lanes + need > Md5Lanes::kLanes) break;
      lanes += need;
      round.push_back(pool_.front());
      pool_.pop_front();
    }
    // Waiting threads are woken only when there is work left for them.
    if (!pool_.empty()) changed_.notify_all();
    return true;
  }

  void Work(bool callingThread) {
    Md5Lanes lanes(options_.kernel);
    std::vector<std::vector<std::uint8_t>> buffers(Md5Lanes::kLanes);
    std::vector<Pending> round;
    while (Take(round, callingThread)) {
      const std::uint64_t bytes = HashRound(lanes, buffers, round);
      {
        // The calling thread, if it waits, learns of it when it next wakes.
        std::lock_guard lock(mutex_);
        bytes_ += bytes;
        progressDue_ = true;
      }
      if (callingThread) Report(Snapshot());
    }
  }

  // Starts jobs, in their order, while fewer than window_ are in progress:
  // enough for full lanes on every thread, few enough that only some
  // sources are open at a time, and jobs end roughly in their order.
  // REQUIRES: mutex_ held (or no thread started yet).
  void Admit() {
    while (started_ < window_ && next_ < jobs_.size()) {
      pool_.push_back(Pending{next_++});
      ++started_;
    }
  }

  // Reads one chunk of every job of the round, hashes them together, and
  // stores the results of the jobs that ended or failed (their index becomes
  // kFinished); the others keep their contexts in `round` for the next
  // round.  Returns the bytes read.
  std::uint64_t HashRound(Md5Lanes& lanes, std::vector<std::vector<std::uint8_t>>& buffers,
                          std::vector<Pending>& round) {
    Slot slots[Md5Lanes::kLanes];
    std::uint64_t bytes = 0;
    int nextLane = 0;
    for (std::size_t i = 0; i < round.size(); ++i) {
      Slot& s = slots[i];
      s.whole = nextLane++;
      if (jobs_[round[i].index].wantFrom32) s.from32 = nextLane++;
      bytes += ReadChunk(lanes, buffers[i], round[i], s);
    }
    lanes.Run();
    for (std::size_t i = 0; i < round.size(); ++i) Collect(lanes, round[i], slots[i]);
    return bytes;
  }

  // Continues the job's digests in the slot's lanes, reads its next chunk
  // into `buffer` and queues it, with the end of the messages when the
  // source ended.  A reader that fails or throws marks the slot failed.
  // Returns the bytes read.
  std::size_t ReadChunk(Md5Lanes& lanes, std::vector<std::uint8_t>& buffer, Pending& p, Slot& s) {
    const std::size_t chunk = options_.chunkSize;
    if (p.offset > 0) {
      lanes.Resume(s.whole, p.whole);
      if (s.from32 >= 0) lanes.Resume(s.from32, p.from32);
    }
    if (buffer.size() != chunk) buffer.resize(chunk);
    std::size_t n = 0;
    try {
      n = jobs_[p.index].read(p.offset, buffer.data(), chunk);
    } catch (...) {
      s.failed = true;
      s.error = std::current_exception();
      return 0;
    }
    if (n == HashJob::kReadFailed || n > chunk) {
      s.failed = true;
      return 0;
    }
    Feed(lanes, p, s, buffer.data(), n);
    s.ended = n < chunk;
    if (s.ended) {
      lanes.End(s.whole);
      if (s.from32 >= 0) lanes.End(s.from32);
    }
    p.offset += n;
    return n;
  }

  // After the round's Run: stores the result of a job that failed or ended
  // and marks it kFinished, or keeps its contexts for its next round.
  void Collect(Md5Lanes& lanes, Pending& p, const Slot& s) {
    HashJobResult& result = results_[p.index];
    if (s.failed) {
      lanes.Restart(s.whole);
      if (s.from32 >= 0) lanes.Restart(s.from32);
      const md5digest empty = md5buffer("", 0);
      result = {s.error ? HashJobStatus::kThrew : HashJobStatus::kFailed,
                s.error,
                p.offset,
                empty,
                empty,
                empty};
      p.index = kFinished;
      return;
    }
    if (s.marked) {
      p.head = lanes.HeadDigest(s.whole);
      p.haveHead = true;
    }
    if (s.ended) {
      result.status = HashJobStatus::kDone;
      result.size = p.offset;
      result.whole = lanes.Digest(s.whole);
      // A source of at most 16384 bytes: the head is all of it.
      result.head = p.haveHead ? p.head : result.whole;
      if (s.from32 >= 0) result.from32 = lanes.Digest(s.from32);
      p.index = kFinished;
      return;
    }
    p.whole = lanes.Save(s.whole);
    lanes.Restart(s.whole);
    if (s.from32 >= 0) {
      p.from32 = lanes.Save(s.from32);
      lanes.Restart(s.from32);
    }
  }

  // Feeds one chunk read at p.offset: all of it to the whole digest, with the
  // mark where the head ends, and the part from offset 32 on to the from-32
  // digest.
  static void Feed(Md5Lanes& lanes, const Pending& p, Slot& s, const std::uint8_t* data,
                   std::size_t n) {
    const std::size_t head = Md5HeadPart(p.offset, n);
    if (head > 0) {
      lanes.Feed(s.whole, data, head);
      if (p.offset + head == kMd5HeadBytes) {
        lanes.MarkHead(s.whole);
        s.marked = true;
      }
    }
    lanes.Feed(s.whole, data + head, n - head);
    if (s.from32 >= 0 && p.offset + n > kControlOffset) {
      const std::size_t skip =
          p.offset < kControlOffset ? static_cast<std::size_t>(kControlOffset - p.offset) : 0;
      lanes.Feed(s.from32, data + skip, n - skip);
    }
  }

  // Marks a job of a round whose result is stored: it does not go back to
  // the pool.
  static constexpr std::size_t kFinished = SIZE_MAX;

  std::span<const HashJob> jobs_;
  const HashJobsOptions& options_;
  std::vector<HashJobResult> results_;  // each written only by the thread holding its job
  int threads_ = 1;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Pending> pool_;  // jobs waiting for their next round
  std::size_t window_ = 0;    // jobs in progress at most
  std::size_t next_ = 0;      // the first job not yet started
  std::size_t started_ = 0;   // jobs started and not finished
  std::size_t unfinished_;    // jobs not yet finished, in the pool or in a round
  std::uint64_t bytes_ = 0;
  bool progressDue_ = false;
  bool stop_ = false;
  std::exception_ptr failure_;
};

}  // namespace

int UsableThreads(int requested) {
  const int cpus = OnlineCpus();
  if (requested <= 0) return cpus;
  return std::min(requested, kThreadsPerCpu * cpus);
}

std::vector<HashJobResult> HashJobs(std::span<const HashJob> jobs, const HashJobsOptions& options) {
  return Pass(jobs, options).Run();
}

}  // namespace tarvel
