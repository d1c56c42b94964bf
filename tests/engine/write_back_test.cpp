// SPDX-License-Identifier: GPL-3.0-or-later
// The write-back thread: a start that the disk holds up keeps neither the
// writer nor its caller waiting, Finish waits for it, and nothing starts
// after Finish.  The disk holding up is a StartSync that waits to be let go.
#include "engine/io/write_back.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/io/replacing_writer.h"
#include "support/env_wrapper.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

// Files whose StartSync waits until the test lets it go, counting the calls
// and the threads they came on.
class HeldStartEnv : public testing::EnvWrapper {
 public:
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  // Waits until `n` starts have begun.
  void AwaitStarts(int n) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return starts_ >= n; });
  }
  int Starts() {
    std::lock_guard lock(mutex_);
    return starts_;
  }
  std::thread::id StartThread() {
    std::lock_guard lock(mutex_);
    return thread_;
  }

 protected:
  std::unique_ptr<File> WrapFile(std::unique_ptr<File> file) override {
    return std::make_unique<HeldFile>(*this, std::move(file));
  }

 private:
  class HeldFile : public testing::FileWrapper {
   public:
    HeldFile(HeldStartEnv& env, std::unique_ptr<File> file)
        : FileWrapper(std::move(file)), env_(env) {}
    void StartSync() override {
      std::unique_lock lock(env_.mutex_);
      ++env_.starts_;
      env_.thread_ = std::this_thread::get_id();
      env_.changed_.notify_all();
      env_.changed_.wait(lock, [&] { return env_.released_; });
      lock.unlock();
      FileWrapper::StartSync();
    }

   private:
    HeldStartEnv& env_;
  };

  std::mutex mutex_;
  std::condition_variable changed_;
  int starts_ = 0;
  bool released_ = false;
  std::thread::id thread_;
};

std::vector<std::uint8_t> Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(WriteBack, StartsOnItsOwnThreadWhileTheWriterGoesOnAndEndsAtFinish) {
  testing::TempDir dir;
  HeldStartEnv env;
  const std::vector<std::uint8_t> first = testing::RandomBytes(70000, 1);
  const std::vector<std::uint8_t> second = testing::RandomBytes(50000, 2);
  ReplacingWriter writer(env, dir / "out.bin", /*keepDigests=*/false);
  WriteBack writeBack;
  writer.WriteAt(0, first);
  writeBack.Start(writer);
  // The start is held up by the disk; the writer writes on beside it, and a
  // second request for the same writer waits for nothing either.
  env.AwaitStarts(1);
  EXPECT_NE(env.StartThread(), std::this_thread::get_id());
  writer.WriteAt(static_cast<std::int64_t>(first.size()), second);
  writeBack.Start(writer);
  writeBack.StartAfter(writer, 0, WriteBack::kStride);
  env.Release();
  writeBack.Finish();
  const int starts = env.Starts();
  EXPECT_GE(starts, 1);
  EXPECT_LE(starts, 2);  // the second, if the thread took it before Finish
  // Finished: nothing starts any more, and the writer commits as always.
  writeBack.Start(writer);
  writeBack.Finish();
  EXPECT_EQ(env.Starts(), starts);
  writer.Commit();
  std::vector<std::uint8_t> expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(Contents(dir / "out.bin"), expected);
}

// Starts only for a write that ends past a multiple of the stride, so a file
// written in chunks gets one start per stride and not one per chunk.
TEST(WriteBack, StartAfterAsksOncePerStride) {
  testing::TempDir dir;
  HeldStartEnv env;
  env.Release();
  ReplacingWriter writer(env, dir / "out.bin", /*keepDigests=*/false);
  WriteBack writeBack;
  writeBack.StartAfter(writer, 0, WriteBack::kStride - 1);
  writeBack.StartAfter(writer, WriteBack::kStride - 1, 1);  // ends on the multiple
  env.AwaitStarts(1);
  writeBack.StartAfter(writer, WriteBack::kStride, WriteBack::kStride - 1);
  writeBack.Finish();
  EXPECT_EQ(env.Starts(), 1);
}

}  // namespace
}  // namespace tarvel
