// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/io/write_back.h"

#include <algorithm>
#include <system_error>

#include "engine/io/replacing_writer.h"

namespace tarvel {

WriteBack::WriteBack() {
  try {
    thread_ = std::thread([this] { Work(); });
  } catch (const std::system_error&) {
    quit_ = true;  // no thread: the flushes before the commit do it all
  }
}

WriteBack::~WriteBack() { Finish(); }

void WriteBack::Start(ReplacingWriter& writer) {
  {
    std::lock_guard lock(mutex_);
    if (quit_ || std::find(pending_.begin(), pending_.end(), &writer) != pending_.end()) return;
    pending_.push_back(&writer);
  }
  wake_.notify_one();
}

void WriteBack::Finish() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    pending_.clear();
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void WriteBack::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || !pending_.empty(); });
    if (quit_) return;
    ReplacingWriter* writer = pending_.front();
    pending_.erase(pending_.begin());
    lock.unlock();
    try {
      writer->StartFlush();
    } catch (...) {
      // Only a hint: a failure shows in the writer's Flush.
    }
    lock.lock();
  }
}

}  // namespace tarvel
