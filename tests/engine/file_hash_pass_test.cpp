// SPDX-License-Identifier: GPL-3.0-or-later
// Many files hashed at once: FileHashPass gives what md5file, md5first16k
// and md5from32 give, file by file, whatever the thread count, with a
// failure kept to its own file; StreamDigests gives md5buffer of streams fed
// in pieces; RunInOrder reaches and judges items in order however their
// readings end; WorkerPool runs every task and passes on the first error in order.
#include "engine/io/file_hash_pass.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/format/model.h"
#include "engine/io/file_digests.h"
#include "engine/io/stream_digests.h"
#include "engine/io/worker_pool.h"
#include "engine/set/action.h"
#include "engine/set/run_in_order.h"
#include "parity/rs.h"
#include "support/faulty_env.h"
#include "support/scripted_interaction.h"
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
    for (std::size_t j = 0; j < 3; ++j) EXPECT_TRUE(pass.Finished(3 * k + j));
    const FileHashResult& whole = pass.Result(3 * k);
    EXPECT_TRUE(whole.opened);
    EXPECT_EQ(whole.size, static_cast<std::int64_t>(b.size()));
    EXPECT_EQ(md5hex(whole.whole), Hex(b, 0, b.size()));
    EXPECT_EQ(md5hex(whole.head), Hex(b, 0, 16384));
    EXPECT_EQ(md5hex(pass.Result(3 * k + 1).whole), Hex(b, 0, 16384));
    EXPECT_EQ(md5hex(pass.Result(3 * k + 2).whole), Hex(b, 32, b.size()));
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
  // Streams of many lengths, fed in pieces of varied sizes, in one, two and
  // three parts; more streams than lanes, then fewer and fewer as the
  // short ones end (so that the parts used go from all to one).
  for (std::size_t parts : {std::size_t{1}, std::size_t{2}, std::size_t{3}}) {
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

// The threads the digests take: at least one, never more than there are
// streams or threads; all of them while the step does nothing else, and
// never more as the reads and writes beside them grow.
TEST(StreamDigests, TakeNoMoreThreadsThanTheStepHas) {
  for (const Md5Kernel kernel : kAllMd5Kernels) {
    for (std::size_t parts = 1; parts <= 4; ++parts) {
      for (std::size_t busy = 1; busy <= 40; ++busy) {
        SCOPED_TRACE(::testing::Message() << Md5KernelName(kernel) << ", " << busy << " streams, "
                                          << parts << " threads");
        std::size_t before = StreamDigests::PartsFor(busy, parts, 0, kernel);
        if (busy <= parts && busy <= 2) {
          EXPECT_EQ(before, busy);
        }
        for (std::size_t beside = 0; beside <= 300; beside += 7) {
          const std::size_t used = StreamDigests::PartsFor(busy, parts, beside, kernel);
          EXPECT_GE(used, 1u);
          EXPECT_LE(used, std::min(busy, parts));
          EXPECT_LE(used, before);
          before = used;
        }
      }
    }
  }
}

// Items are reached and judged strictly in order, each judged only once its
// reading is over (and its digests known where the judgement needs them),
// whatever the pass finishes first; an item not shown is never judged nor
// shown; the judgement that throws ends the pass right there.
TEST(RunInOrder, ReachesAndJudgesInOrderWhateverIsReadFirst) {
  testing::TempDir dir;
  std::vector<FileHashJob> jobs;
  std::vector<std::string> names;
  std::vector<std::int64_t> sizes;
  for (std::size_t k = 0; k < 12; ++k) {
    // Big files first, so that the small ones behind them are read sooner.
    const std::size_t size = k < 4 ? 900000 - 200000 * k : 1000 * k;
    names.push_back("f" + std::to_string(k));
    sizes.push_back(static_cast<std::int64_t>(size));
    testing::WriteBytes(dir / names.back(), testing::RandomBytes(size, k));
    jobs.push_back({dir / names.back()});
  }
  const std::size_t unread = 5, hidden = 7, throwing = 9;
  for (int threads : {1, 2, 4}) {
    for (bool throws : {false, true}) {
      SCOPED_TRACE(::testing::Message() << threads << " threads, throws " << throws);
      testing::ScriptedInteraction ui;
      SetModel model;
      ParityMatrix parity;
      std::atomic<bool> stop{false};
      Action action(Env::Default(), ui, model, parity, threads, stop);
      FileHashPass pass(action.env, jobs, action.Pool(jobs.size()));
      ItemProgress progress(ProgressStep::kCheckingFiles, names, sizes, [](int) { return -1; });
      std::vector<int> log;  // reached as i, judged as 100 + i
      ItemsInOrder items;
      items.count = jobs.size();
      items.jobOf = [&](std::size_t i) { return i == unread ? -1 : static_cast<int>(i); };
      items.reached = [&](std::size_t i) { log.push_back(static_cast<int>(i)); };
      items.shown = [&](std::size_t i) { return i != hidden; };
      items.needsDigests = [&](std::size_t i) { return i % 2 == 1; };
      items.done = [&](std::size_t i) {
        log.push_back(100 + static_cast<int>(i));
        if (i != unread) {
          EXPECT_TRUE(pass.Finished(i));
          if (i % 2 == 1) {
            EXPECT_EQ(md5hex(pass.Result(i).whole),
                      md5hex(md5buffer(testing::RandomBytes(sizes[i], i).data(), sizes[i])));
          }
        }
        if (throws && i == throwing) throw std::runtime_error("judged");
      };
      if (throws) {
        EXPECT_THROW(RunInOrder(action, pass, progress, items), std::runtime_error);
      } else {
        RunInOrder(action, pass, progress, items);
      }
      std::vector<int> expected;
      for (std::size_t i = 0; i < (throws ? throwing + 1 : items.count); ++i) {
        expected.push_back(static_cast<int>(i));
        if (i != hidden) expected.push_back(100 + static_cast<int>(i));
      }
      EXPECT_EQ(log, expected);
      // The records go forward item by item and never name the hidden one.
      ASSERT_FALSE(ui.records.empty());
      for (std::size_t r = 1; r < ui.records.size(); ++r) {
        EXPECT_GE(ui.records[r].stepDone, ui.records[r - 1].stepDone);
        EXPECT_NE(ui.records[r].item, static_cast<int>(hidden));
      }
      EXPECT_EQ(ui.records.back().item, throws ? static_cast<int>(throwing) : 11);
      EXPECT_EQ(ui.records.back().stepDone == ui.records.back().stepTotal, !throws);
    }
  }
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
