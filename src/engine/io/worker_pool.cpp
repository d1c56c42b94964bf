// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/io/worker_pool.h"

#include <algorithm>
#include <chrono>

#include "checksum/hash_jobs.h"
#include "engine/progress.h"

namespace tarvel {

WorkerPool::WorkerPool(int threads, std::size_t pieces, const ThreadStarter& start) {
  const auto wanted = static_cast<std::size_t>(UsableThreads(threads));
  const std::size_t count = std::max<std::size_t>(1, std::min(wanted, pieces));
  for (std::size_t t = 1; t < count; ++t) {
    try {
      workers_.push_back(start ? start([this] { Work(); }) : std::thread([this] { Work(); }));
    } catch (...) {
      break;  // go on with the threads there are
    }
  }
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  start_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void WorkerPool::ForEach(std::size_t count, const std::function<void(std::size_t)>& task,
                         const std::function<void()>& waiting) {
  if (count == 0) return;
  std::unique_lock lock(mutex_);
  task_ = &task;
  count_ = count;
  next_ = 0;
  running_ = 0;
  errors_.assign(count, nullptr);
  ++round_;
  if (!workers_.empty() && count > 1) start_.notify_all();
  RunTasks(lock);
  const auto over = [this] { return next_ == count_ && running_ == 0; };
  while (!finished_.wait_for(lock, std::chrono::milliseconds(kEventIntervalMs), over)) {
    if (!waiting) continue;
    lock.unlock();
    waiting();
    lock.lock();
  }
  task_ = nullptr;
  for (std::exception_ptr& error : errors_) {
    if (error) std::rethrow_exception(error);
  }
}

void WorkerPool::RunTasks(std::unique_lock<std::mutex>& lock) {
  while (next_ < count_) {
    const std::size_t i = next_++;
    ++running_;
    lock.unlock();
    try {
      (*task_)(i);
    } catch (...) {
      errors_[i] = std::current_exception();  // each slot written by one thread
    }
    lock.lock();
    --running_;
  }
  if (running_ == 0) finished_.notify_all();
}

void WorkerPool::Work() {
  std::size_t seen = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    start_.wait(lock, [&] { return quit_ || (round_ != seen && task_ != nullptr); });
    if (quit_) return;
    seen = round_;
    RunTasks(lock);
  }
}

}  // namespace tarvel
