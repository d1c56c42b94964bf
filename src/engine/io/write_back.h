// SPDX-License-Identifier: GPL-3.0-or-later
// The write-back of files being written, started on a thread of its own.
//
// Handing written data to the disk (File::StartSync) can block for as long
// as the disk takes to accept it; on the threads of a pass it would stop
// the reading and the arithmetic.  A WriteBack makes those calls on its own
// thread: Start(writer) asks for the data the writer holds so far to start
// going to the disk and returns at once, so the disk writes while the pass
// goes on and the flush before the commit finds little left to wait for.
// Only a head start: nothing is promised until the writer's Flush, which the
// commit makes as always.  When the system refuses a thread, it does nothing.
//
// Owned by the action that writes (a create's volumes, a restore's files).
// The writers given to Start must outlive it, or its Finish.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvel {

class ReplacingWriter;

class WriteBack {
 public:
  // Data a writer takes between two starts of its write-back, for a caller
  // that writes a file in many pieces: enough that each start hands the
  // disk a long run, few enough that the disk is never idle for long.
  static constexpr std::int64_t kStride = 8 << 20;

  WriteBack();
  // Finish.
  ~WriteBack();
  WriteBack(const WriteBack&) = delete;
  WriteBack& operator=(const WriteBack&) = delete;

  // Asks for the writer's data so far to start going to the disk; on any
  // thread, while that writer may be written by another.  A writer asked
  // for again before its turn is started once.
  void Start(ReplacingWriter& writer);
  // Start, when bytes [offset, offset + length) just written end past a
  // multiple of kStride.
  void StartAfter(ReplacingWriter& writer, std::int64_t offset, std::int64_t length) {
    if ((offset + length) / kStride != offset / kStride) Start(writer);
  }

  // Waits for the start in progress, if any, drops those not yet begun (the
  // flush that follows covers them) and ends the thread.  Afterwards Start
  // does nothing.  REQUIRES: before any writer given to Start is flushed,
  // committed or destroyed.
  void Finish();

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<ReplacingWriter*> pending_;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace tarvel
