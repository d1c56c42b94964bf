// SPDX-License-Identifier: GPL-3.0-or-later
// The thread count changes nothing a user or a volume can see: a check of a
// set in which one file is gone by the time it is opened, one shrinks while
// it is read and one has an unreadable sector shows the same progress,
// messages, error and report with one thread and with several; a create
// writes the same volumes and a restore the same files.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "set_fixture.h"
#include "support/faulty_env.h"

namespace tarvel {
namespace {

using testing::Bytes;
using testing::FaultyEnv;
using testing::RandomBytes;
using testing::SetScenario;

// Cuts the file "shrinks.bin" to 70000 bytes when it is read beyond its
// first chunk, as a file truncated by another program during the check.
class ShrinkingEnv : public FaultyEnv {
 public:
  using FaultyEnv::FaultyEnv;
  std::atomic<bool> armed{false};

 protected:
  std::unique_ptr<File> WrapFile(std::unique_ptr<File> file) override {
    return std::make_unique<Shrinking>(*this, FaultyEnv::WrapFile(std::move(file)));
  }

 private:
  class Shrinking : public testing::FileWrapper {
   public:
    Shrinking(ShrinkingEnv& env, std::unique_ptr<File> f) : FileWrapper(std::move(f)), env_(env) {}
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
      if (offset > 0 && Name().ends_with("shrinks.bin") && env_.armed.exchange(false)) {
        std::filesystem::resize_file(Name(), 70000);
      }
      return target().ReadAt(offset, buffer, n);
    }

   private:
    ShrinkingEnv& env_;
  };
};

struct Seen {
  std::vector<std::string> report;
  std::vector<std::string> texts;
  std::vector<int> percents;
  std::vector<std::string> messages;
  std::string error;
};

// Creates the set, spoils it, and checks it with `threads` threads.
Seen CheckWith(int threads, bool failARead) {
  ShrinkingEnv env(Env::Default());
  SetScenario s(env);
  const std::vector<std::string> names = {"a.bin", "gone.bin",    "m.bin", "q.bin",
                                          "r.bin", "shrinks.bin", "t.bin", "z.bin"};
  for (std::size_t k = 0; k < names.size(); ++k) {
    s.Write(names[k], RandomBytes(40000 + 30000 * k, static_cast<std::uint32_t>(k)));
  }
  EXPECT_TRUE(s.Create(names, 2));
  s.engine.SetThreads(threads);
  s.ui = {};
  env.Fail(FaultyEnv::kOpen, 1, "gone.bin", /*sticky=*/true, ENOENT);
  if (failARead) env.BadRegion(s.Path("r.bin"), 100000, 100001);
  env.armed = true;
  Seen seen;
  try {
    seen.report = s.Check();
  } catch (const FileError& e) {
    // The error names the file by its path, in a folder of this run.
    seen.error = e.what();
    const std::string folder = s.dir.path();
    if (const auto at = seen.error.find(folder); at != std::string::npos) {
      seen.error.replace(at, folder.size(), "DIR");
    }
  }
  seen.texts = s.ui.progressTexts;
  seen.percents = s.ui.percents;
  seen.messages = s.ui.messages;
  return seen;
}

TEST(ThreadsTest, ACheckWithUnreadableAndShrinkingFilesIsTheSameOnEveryCount) {
  for (const bool failARead : {false, true}) {
    SCOPED_TRACE(failARead ? "with a failed read" : "without a failed read");
    const Seen one = CheckWith(1, failARead);
    const auto has = [&](const std::string& line) {
      return std::find(one.report.begin(), one.report.end(), line) != one.report.end();
    };
    // A file gone between the look and the reading is missing; one with an
    // unreadable sector is damaged, and the check goes on.
    EXPECT_EQ(one.error, "");
    EXPECT_TRUE(has("gone.bin Missing..."));
    EXPECT_TRUE(has("shrinks.bin CRC Mismatch..."));
    EXPECT_EQ(has("r.bin CRC Mismatch..."), failARead);
    EXPECT_TRUE(has(failARead ? "3 bad/missing files." : "2 bad/missing files."));
    for (int threads : {2, 3, 8}) {
      SCOPED_TRACE(threads);
      const Seen many = CheckWith(threads, failARead);
      EXPECT_EQ(many.report, one.report);
      EXPECT_EQ(many.texts, one.texts);
      EXPECT_EQ(many.percents, one.percents);
      EXPECT_EQ(many.messages, one.messages);
      EXPECT_EQ(many.error, one.error);
    }
  }
}

// Files longer than a round of the parity pass (several rounds each, the
// last one short, a file ending inside the first) give the same volumes, in
// one pass and in two, and the same rebuilt files, with one thread and with
// several.
TEST(ThreadsTest, CreateAndRestoreAreTheSameOnEveryCount) {
  const std::vector<std::size_t> sizes = {3100000, 1, 70000, 1350000, 2000001};
  const std::vector<std::string> names = {"f0.bin", "f1.bin", "f2.bin", "f3.bin", "f4.bin"};
  std::map<std::string, Bytes> first;
  for (const int threads : {1, 3}) {
    for (const bool onePass : {false, true}) {
      SCOPED_TRACE(::testing::Message() << threads << " threads, one pass " << onePass);
      SetScenario s;
      s.engine.SetThreads(threads);
      for (std::size_t k = 0; k < sizes.size(); ++k) {
        s.Write(names[k], RandomBytes(sizes[k], static_cast<std::uint32_t>(k)));
      }
      ASSERT_TRUE(s.Create(names, 2, "set", onePass));
      std::map<std::string, Bytes> volumes = testing::Snapshot(s.dir.path());
      std::erase_if(volumes, [](const auto& file) { return !file.first.starts_with("set."); });
      if (first.empty()) first = volumes;
      EXPECT_TRUE(volumes == first) << "the volumes differ";

      std::filesystem::remove(s.Path(names[0]));
      Bytes damaged = s.Read(names[4]);
      damaged[1500000] ^= 0x5A;  // in the second round
      s.Corrupt(names[4], damaged);
      s.Check();
      EXPECT_EQ(s.engine.Restore(false), RestoreOutcome::kRestored);
      for (std::size_t k = 0; k < sizes.size(); ++k) {
        EXPECT_TRUE(s.Read(names[k]) == RandomBytes(sizes[k], static_cast<std::uint32_t>(k)))
            << names[k];
      }
    }
  }
}

}  // namespace
}  // namespace tarvel
