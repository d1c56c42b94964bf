// SPDX-License-Identifier: GPL-3.0-or-later
// A few threads that share out the independent parts of one step of a pass
// (the reads of a chunk of every source, writing the volumes while their
// digests are taken), the calling thread working too.  Workers only compute
// and read or write files; nothing they run may talk to the user.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvel {

class WorkerPool {
 public:
  // Starts a thread that runs `body`; throws std::system_error when the
  // system refuses one (a process limit, no memory for a stack).
  using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

  // `threads` counts the calling thread: 0 = one per online CPU, 1 = the
  // calling thread alone (no thread is started); never more than
  // UsableThreads allows (at most four per online CPU) nor than `pieces`,
  // the most tasks a step will have.
  // A thread that cannot be started is done without: the pool works with
  // those that started, the calling thread at least.
  explicit WorkerPool(int threads, std::size_t pieces = std::numeric_limits<std::size_t>::max(),
                      const ThreadStarter& start = {});
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  [[nodiscard]] int Threads() const { return static_cast<int>(workers_.size()) + 1; }

  // Runs task(0) .. task(count - 1), spread over the threads, and returns
  // when all have finished.  When tasks throw, every task still runs and
  // the exception of the lowest-numbered one that threw passes on, so the
  // error is the one a loop over the tasks in order would have met first.
  // While the calling thread waits for the others, it calls `waiting` at
  // least every kEventIntervalMs (to keep the windows painted while a worker
  // waits on a slow read); `waiting` must not throw.
  void ForEach(std::size_t count, const std::function<void(std::size_t)>& task,
               const std::function<void()>& waiting = {});

 private:
  void Work();
  // Takes and runs tasks of the current round until none is left.
  void RunTasks(std::unique_lock<std::mutex>& lock);

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable finished_;
  const std::function<void(std::size_t)>* task_ = nullptr;
  std::size_t count_ = 0;
  std::size_t next_ = 0;     // the next task to take
  std::size_t running_ = 0;  // tasks taken and not finished
  std::size_t round_ = 0;    // counts ForEach calls, so a worker joins each once
  std::vector<std::exception_ptr> errors_;
  bool quit_ = false;
};

}  // namespace tarvel
