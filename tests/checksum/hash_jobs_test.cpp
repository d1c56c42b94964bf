// SPDX-License-Identifier: GPL-3.0-or-later
// HashJobs against md5buffer over the same bytes: sizes around the chunk, the
// 16 KiB head and offset 32, on one thread and on several, whatever the pool
// does with the parts of the pass; sources that fail,
// throw or end early leave every other job's digests alone; readers see each
// job's chunks in order and never two at once; progress comes on the calling
// thread, and an exception from it stops the pass.
#include "checksum/hash_jobs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

#include "support/testutil.h"

namespace tarvel {
namespace {

std::string Hex(std::span<const std::uint8_t> bytes) { return md5hex(md5buffer(bytes)); }

// A source in memory whose reader checks it is asked for consecutive chunks,
// one at a time; it can fail or throw from a given offset on.
struct Source {
  std::vector<std::uint8_t> bytes;
  std::uint64_t failAt = UINT64_MAX;
  bool throws = false;
  std::atomic<int> inside{0};
  std::atomic<std::uint64_t> expectedOffset{0};
  std::atomic<bool> misused{false};

  std::size_t Read(std::uint64_t offset, std::uint8_t* buf, std::size_t n) {
    if (inside.fetch_add(1) != 0 || offset != expectedOffset) misused = true;
    struct Leave {
      std::atomic<int>& inside;
      ~Leave() { --inside; }
    } leave{inside};
    if (offset + n > failAt) {
      if (throws) throw std::runtime_error("device gone");
      return HashJob::kReadFailed;
    }
    const std::size_t got =
        offset >= bytes.size() ? 0 : std::min<std::size_t>(n, bytes.size() - offset);
    if (got > 0) std::memcpy(buf, bytes.data() + offset, got);
    expectedOffset = offset + got;
    return got;
  }
};

struct Sources {
  std::vector<std::unique_ptr<Source>> sources;
  std::vector<HashJob> jobs;

  void Add(std::vector<std::uint8_t> bytes, bool wantFrom32 = true) {
    sources.push_back(std::make_unique<Source>());
    sources.back()->bytes = std::move(bytes);
    Source* source = sources.back().get();
    jobs.push_back({[source](std::uint64_t offset, std::uint8_t* buf, std::size_t n) {
                      return source->Read(offset, buf, n);
                    },
                    wantFrom32});
  }
};

void ExpectDigestsOf(const HashJobResult& r, std::span<const std::uint8_t> bytes, bool from32) {
  EXPECT_EQ(r.status, HashJobStatus::kDone);
  EXPECT_EQ(r.size, bytes.size());
  EXPECT_EQ(md5hex(r.whole), Hex(bytes));
  EXPECT_EQ(md5hex(r.head), Hex(bytes.first(std::min<std::size_t>(bytes.size(), 16384))));
  if (from32) {
    EXPECT_EQ(md5hex(r.from32), Hex(bytes.size() > 32 ? bytes.subspan(32) : bytes.first(0)));
  }
}

// How the pool of a test runs the parts of a pass.
enum class Pool {
  kThreads,  // part 0 on the calling thread, each other on a thread of its own
  kLoop,     // one after another on the calling thread (a pool without workers)
  kNone,     // no pool: the pass works on the calling thread alone
};

SideBySideRunner RunnerOf(Pool pool) {
  switch (pool) {
    case Pool::kThreads:
      return [](std::size_t count, const std::function<void(std::size_t)>& body) {
        std::vector<std::thread> others;
        for (std::size_t part = 1; part < count; ++part) others.emplace_back(body, part);
        body(0);
        for (std::thread& other : others) other.join();
      };
    case Pool::kLoop:
      return [](std::size_t count, const std::function<void(std::size_t)>& body) {
        for (std::size_t part = 0; part < count; ++part) body(part);
      };
    case Pool::kNone:
      break;
  }
  return {};
}

struct PassSetup {
  int threads;
  std::size_t chunk;
  Md5Kernel kernel;
  Pool pool = Pool::kThreads;
};

std::string PoolName(Pool pool) {
  return pool == Pool::kThreads ? "" : pool == Pool::kLoop ? "_loop" : "_nopool";
}

class HashJobsTest : public ::testing::TestWithParam<PassSetup> {};

TEST_P(HashJobsTest, DigestsOfEveryJobInJobOrder) {
  const PassSetup setup = GetParam();
  if (!Md5KernelSupported(setup.kernel)) GTEST_SKIP() << "CPU lacks the version";
  std::mt19937 rng(31);
  const std::size_t sizes[] = {0,    1,     31,    32,    33,    63,    64,    4095,  4096,  4097,
                               8192, 16383, 16384, 16385, 20000, 65536, 65537, 99999, 300000};
  Sources s;
  for (int i = 0; i < 45; ++i) {
    const std::size_t size = sizes[i % std::size(sizes)];
    s.Add(testing::RandomBytes(size, static_cast<std::uint32_t>(rng())), i % 3 != 0);
  }
  HashJobsOptions options;
  options.threads = setup.threads;
  options.chunkSize = setup.chunk;
  options.kernel = setup.kernel;
  options.runSideBySide = RunnerOf(setup.pool);
  const std::vector<HashJobResult> results = HashJobs(s.jobs, options);
  ASSERT_EQ(results.size(), s.jobs.size());
  for (std::size_t i = 0; i < results.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectDigestsOf(results[i], s.sources[i]->bytes, s.jobs[i].wantFrom32);
    EXPECT_FALSE(s.sources[i]->misused);
  }
}

TEST_P(HashJobsTest, FailingSourcesEndAloneAndProgressStaysOnTheCallingThread) {
  const PassSetup setup = GetParam();
  if (!Md5KernelSupported(setup.kernel)) GTEST_SKIP() << "CPU lacks the version";
  Sources s;
  for (int i = 0; i < 20; ++i) s.Add(testing::RandomBytes(10000 + 7919 * i, 40 + i));
  s.sources[3]->failAt = 0;                               // cannot be read at all
  s.sources[7]->failAt = s.sources[7]->bytes.size() - 1;  // on its last chunk
  s.sources[7]->throws = true;
  s.sources[11]->failAt = s.sources[11]->bytes.size() / 2;
  // Shrinks: delivers less than its first chunk and is taken as ending there.
  s.sources[15]->bytes.resize(100);

  const auto caller = std::this_thread::get_id();
  std::vector<HashProgress> reports;
  bool elsewhere = false;
  HashJobsOptions options;
  options.threads = setup.threads;
  options.chunkSize = setup.chunk;
  options.kernel = setup.kernel;
  options.runSideBySide = RunnerOf(setup.pool);
  options.progress = [&](const HashProgress& p) {
    elsewhere |= std::this_thread::get_id() != caller;
    reports.push_back(p);
  };
  const std::vector<HashJobResult> results = HashJobs(s.jobs, options);

  const std::string empty = md5hex(md5buffer("", 0));
  for (std::size_t i = 0; i < results.size(); ++i) {
    SCOPED_TRACE(i);
    const HashJobResult& r = results[i];
    if (i == 3 || i == 7 || i == 11) {
      EXPECT_EQ(r.status, i == 7 ? HashJobStatus::kThrew : HashJobStatus::kFailed);
      EXPECT_EQ(r.error != nullptr, i == 7);
      EXPECT_EQ(md5hex(r.whole), empty);
      EXPECT_EQ(md5hex(r.head), empty);
      EXPECT_EQ(md5hex(r.from32), empty);
    } else {
      ExpectDigestsOf(r, s.sources[i]->bytes, true);
    }
  }
  EXPECT_FALSE(elsewhere);
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().jobsDone, s.jobs.size());
  EXPECT_EQ(reports.back().jobCount, s.jobs.size());
  for (std::size_t i = 1; i < reports.size(); ++i) {
    EXPECT_GE(reports[i].bytes, reports[i - 1].bytes);
    EXPECT_GE(reports[i].jobsDone, reports[i - 1].jobsDone);
  }
}

INSTANTIATE_TEST_SUITE_P(Threads, HashJobsTest,
                         ::testing::Values(PassSetup{1, 4096, Md5Kernel::kScalar},
                                           PassSetup{1, 1000, BestMd5Kernel()},
                                           PassSetup{3, 4096, BestMd5Kernel()},
                                           PassSetup{2, 65536, Md5Kernel::kAvx2},
                                           PassSetup{0, 256 * 1024, BestMd5Kernel()},
                                           PassSetup{4, 4096, BestMd5Kernel(), Pool::kLoop},
                                           PassSetup{3, 4096, BestMd5Kernel(), Pool::kNone}),
                         [](const auto& info) {
                           const PassSetup& s = info.param;
                           return std::string(Md5KernelName(s.kernel)) + "_" +
                                  std::to_string(s.threads) + "threads_" + std::to_string(s.chunk) +
                                  PoolName(s.pool);
                         });

// Only a window of jobs is in progress at a time (between its first and
// last read, so a file would be open), however many there are and however
// the threads are scheduled; on one thread the jobs also start in order.
// With several threads the order of first reads depends on which thread
// the system runs when, so only the window is checked there.
TEST(HashJobs, JobsStartInOrderAndFewAreInProgress) {
  for (const int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    constexpr int kJobs = 200;
    std::mutex mutex;
    std::vector<int> started;
    int inProgress = 0;
    int most = 0;
    std::vector<std::unique_ptr<Source>> sources;
    std::vector<HashJob> jobs;
    for (int i = 0; i < kJobs; ++i) {
      sources.push_back(std::make_unique<Source>());
      sources.back()->bytes = testing::RandomBytes(5000 + 37 * i, i);
      Source* source = sources.back().get();
      jobs.push_back({[&, source, i](std::uint64_t offset, std::uint8_t* buf, std::size_t n) {
        const std::size_t got = source->Read(offset, buf, n);
        std::lock_guard lock(mutex);
        if (offset == 0) {
          started.push_back(i);
          most = std::max(most, ++inProgress);
        }
        if (got < n) --inProgress;
        return got;
      }});
    }
    HashJobsOptions options;
    options.threads = threads;
    options.chunkSize = 1024;
    options.runSideBySide = RunnerOf(Pool::kThreads);
    const std::vector<HashJobResult> results = HashJobs(jobs, options);
    for (int i = 0; i < kJobs; ++i) ExpectDigestsOf(results[i], sources[i]->bytes, false);
    EXPECT_LE(most, 2 * threads * Md5Lanes::kLanes);
    ASSERT_EQ(started.size(), static_cast<std::size_t>(kJobs));
    if (threads > 1) continue;
    for (int k = 0; k < kJobs; ++k) EXPECT_LT(std::abs(started[k] - k), 2 * Md5Lanes::kLanes);
  }
}

TEST(HashJobs, ExceptionFromProgressStopsThePass) {
  Sources s;
  for (int i = 0; i < 40; ++i) s.Add(testing::RandomBytes(50000, i));
  HashJobsOptions options;
  options.threads = 2;
  options.chunkSize = 1024;
  options.runSideBySide = RunnerOf(Pool::kThreads);
  options.progress = [](const HashProgress& p) {
    if (p.bytes > 0) throw std::runtime_error("cancelled");
  };
  EXPECT_THROW((void)HashJobs(s.jobs, options), std::runtime_error);
  EXPECT_TRUE(HashJobs({}, options).empty());
}

}  // namespace
}  // namespace tarvel
