// Many files hashed at once: FileHashPass gives what md5file, md5first16k
// and md5from32 give, file by file, whatever the thread count, with a
// failure kept to its own file; StreamDigests gives md5buffer of streams fed
// in pieces; StepsInOrder shows steps in order however their readiness
// comes; WorkerPool runs every task and passes on the first error in order.
#include "engine/io/file_hash_pass.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/io/file_digests.h"
#include "engine/io/run_in_order.h"
#include "engine/io/stream_digests.h"
#include "engine/io/worker_pool.h"
#include "support/faulty_env.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

using testing::FaultyEnv;
using Bytes = std::vector<std::uint8_t>;

std::string Hex(const Bytes& b, std::size_t from, std::size_t to) {
  to = std::min(to, b.size());
  from = std::min(from, to);
  return md5hex(md5buffer(b.data() + from, to - from));
}

// Sizes around the head, the control offset and the chunk of the pass.
const std::size_t kSizes[] = {0,     1,     31,    32,    33,     16383, 16384,
                              16385, 65535, 65536, 65537, 200000, 3000,  131072};

class FileHashPassTest : public ::testing::TestWithParam<int> {};

TEST_P(FileHashPassTest, GivesTheDigestsOfEachFileAlone) {
  testing::TempDir dir;
  std::vector<Bytes> contents;
  std::vector<FileHashJob> jobs;
  for (std::size_t k = 0; k < std::size(kSizes); ++k) {
    contents.push_back(testing::RandomBytes(kSizes[k], static_cast<std::uint32_t>(k + 7)));
    const std::string path = dir / ("f" + std::to_string(k));
    testing::WriteBytes(path, contents.back());
    // Each file three times: whole, head only, from 32.
    jobs.push_back({path});
    jobs.push_back({path, 0, 16384});
    jobs.push_back({path, kControlDigestStart});
  }
  jobs.push_back({dir / "missing"});
  FaultyEnv env(Env::Default());
  WorkerPool pool(GetParam());
  FileHashPass pass(env, jobs, pool);
  int calls = 0;
  pass.Run([&] { ++calls; });
  EXPECT_GT(calls, 0);
  for (std::size_t k = 0; k < contents.size(); ++k) {
    SCOPED_TRACE(kSizes[k]);
    const Bytes& b = contents[k];
    for (std::size_t j = 0; j < 3; ++j) EXPECT_TRUE(pass.Over(3 * k + j));
    const FileHashResult& whole = pass.Result(3 * k);
    EXPECT_TRUE(whole.opened);
    EXPECT_EQ(whole.size, static_cast<std::int64_t>(b.size()));
    EXPECT_EQ(md5hex(whole.whole), Hex(b, 0, b.size()));
    EXPECT_EQ(md5hex(whole.head), Hex(b, 0, 16384));
    EXPECT_EQ(md5hex(pass.Result(3 * k + 1).whole), Hex(b, 0, 16384));
    EXPECT_EQ(md5hex(pass.Result(3 * k + 2).whole), Hex(b, 32, b.size()));
    EXPECT_EQ(md5hex(md5file(env, jobs[3 * k].path)), Hex(b, 0, b.size()));
  }
  const FileHashResult& missing = pass.Result(jobs.size() - 1);
  EXPECT_FALSE(missing.opened);
  EXPECT_FALSE(missing.error);
  EXPECT_EQ(md5hex(missing.whole), md5hex(md5buffer(nullptr, 0)));
}

// A failed read, or a failed open where the file must open, is kept as
// that file's error; no other file's digest changes.
TEST_P(FileHashPassTest, FailuresStayWithTheirFile) {
  testing::TempDir dir;
  std::vector<FileHashJob> jobs;
  std::vector<Bytes> contents;
  for (int k = 0; k < 20; ++k) {
    contents.push_back(testing::RandomBytes(100000 + 1000 * k, k));
    std::string name = "f";
    name += std::to_string(k);
    jobs.push_back({dir / name, 0, -1, /*mustOpen=*/true});
    testing::WriteBytes(jobs.back().path, contents.back());
  }
  FaultyEnv env(Env::Default());
  env.Fail(FaultyEnv::kRead, 2, "f7");
  env.Fail(FaultyEnv::kOpen, 1, "f13");
  WorkerPool pool(GetParam());
  FileHashPass pass(env, jobs, pool);
  pass.Run(nullptr);
  for (int k = 0; k < 20; ++k) {
    SCOPED_TRACE(k);
    const FileHashResult& r = pass.Result(k);
    if (k == 7 || k == 13) {
      EXPECT_TRUE(r.error);
      EXPECT_THROW(pass.ThrowError(k), FileError);
    } else {
      EXPECT_FALSE(r.error);
      EXPECT_NO_THROW(pass.ThrowError(k));
      EXPECT_EQ(md5hex(r.whole), Hex(contents[k], 0, contents[k].size()));
    }
  }
}

// A progress callback that throws ends the pass with its error; every file
// is closed again (a FaultyEnv file must not outlive its Env).
TEST_P(FileHashPassTest, AThrowingCallbackEndsThePass) {
  testing::TempDir dir;
  std::vector<FileHashJob> jobs(40);
  for (std::size_t k = 0; k < jobs.size(); ++k) {
    jobs[k].path = dir / std::string(1, static_cast<char>('A' + k));
    testing::WriteBytes(jobs[k].path, testing::RandomBytes(300000, static_cast<std::uint32_t>(k)));
  }
  auto env = std::make_unique<FaultyEnv>(Env::Default());
  {
    WorkerPool pool(GetParam());
    FileHashPass pass(*env, jobs, pool);
    EXPECT_THROW(pass.Run([] { throw std::runtime_error("stop"); }), std::runtime_error);
  }
  env.reset();
}

INSTANTIATE_TEST_SUITE_P(Threads, FileHashPassTest, ::testing::Values(1, 2, 5));

TEST(StreamDigests, AreThoseOfTheWholeStreams) {
  // Streams of many lengths, fed in pieces of varied sizes, in one and in
  // three parts; more streams than lanes.
  for (std::size_t parts : {std::size_t{1}, std::size_t{3}}) {
    SCOPED_TRACE(parts);
    std::vector<Bytes> streams;
    for (int k = 0; k < 37; ++k) {
      streams.push_back(testing::RandomBytes(static_cast<std::size_t>(k) * 1733 % 70000, k));
    }
    StreamDigests digests(streams.size());
    std::vector<std::size_t> fed(streams.size(), 0);
    for (std::size_t piece = 1;; ++piece) {
      bool any = false;
      for (std::size_t k = 0; k < streams.size(); ++k) {
        const std::size_t n = std::min(streams[k].size() - fed[k], (piece * 997 + k * 131) % 9000);
        if (n == 0) continue;
        any = true;
        digests.Add(k, streams[k].data() + fed[k], n);
        fed[k] += n;
      }
      for (std::size_t part = 0; part < parts; ++part) digests.Run(part, parts);
      if (!any) break;
    }
    for (std::size_t k = 0; k < streams.size(); ++k) {
      SCOPED_TRACE(streams[k].size());
      EXPECT_EQ(digests.Length(k), static_cast<std::int64_t>(streams[k].size()));
      EXPECT_EQ(md5hex(digests.Whole(k)), Hex(streams[k], 0, streams[k].size()));
      EXPECT_EQ(md5hex(digests.Head(k)), Hex(streams[k], 0, 16384));
    }
  }
}

TEST(StepsInOrder, ShowsAndFinishesInOrderWhateverIsReadyFirst) {
  std::vector<bool> ready(6, false);
  // Shown steps logged as i, finished ones as 100 + i.
  std::vector<int> log;
  StepsInOrder steps(
      ready.size(), [&](std::size_t i) { log.push_back(static_cast<int>(i)); },
      [&](std::size_t i) { return static_cast<bool>(ready[i]); },
      [&](std::size_t i) { log.push_back(100 + static_cast<int>(i)); }, [] {});
  steps.Advance();
  ready[3] = ready[1] = true;
  steps.Advance();
  EXPECT_EQ(log, (std::vector<int>{0}));
  ready[0] = true;
  steps.Advance();
  EXPECT_EQ(log, (std::vector<int>{0, 100, 1, 101, 2}));
  ready.assign(ready.size(), true);
  steps.Complete();
  EXPECT_EQ(log.size(), 12u);
  EXPECT_EQ(log.back(), 105);
}

TEST(WorkerPool, RunsEveryTaskAndPassesOnTheFirstErrorInOrder) {
  for (int threads : {1, 2, 4}) {
    SCOPED_TRACE(threads);
    WorkerPool pool(threads);
    EXPECT_EQ(pool.Threads(), threads);
    for (int round = 0; round < 50; ++round) {
      std::vector<std::atomic<int>> runs(17);
      pool.ForEach(runs.size(), [&](std::size_t i) { ++runs[i]; });
      for (auto& r : runs) EXPECT_EQ(r.load(), 1);
    }
    std::atomic<int> ran{0};
    try {
      pool.ForEach(9, [&](std::size_t i) {
        ++ran;
        if (i == 6 || i == 3) throw std::runtime_error(std::to_string(i));
      });
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "3");
    }
    EXPECT_EQ(ran.load(), 9);
  }
}

// Threads the system refuses to start are done without, and never more
// threads than there is work for or than the CPUs can use.
TEST(WorkerPool, StartsWhatItCanAndNoMoreThanIsUseful) {
  for (int allowed : {0, 1, 2}) {
    SCOPED_TRACE(allowed);
    int started = 0;
    const WorkerPool::ThreadStarter refusing = [&](std::function<void()> body) {
      if (started++ == allowed)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      return std::thread(std::move(body));
    };
    WorkerPool pool(4, 100, refusing);
    EXPECT_EQ(pool.Threads(), allowed + 1);
    std::vector<std::atomic<int>> runs(23);
    pool.ForEach(runs.size(), [&](std::size_t i) { ++runs[i]; });
    for (auto& r : runs) EXPECT_EQ(r.load(), 1);
  }
  EXPECT_EQ(WorkerPool(4, 2).Threads(), 2);
  EXPECT_LE(WorkerPool(100000).Threads(),
            4 * static_cast<int>(std::thread::hardware_concurrency()));
}

}  // namespace
}  // namespace tarvel
