// SPDX-License-Identifier: GPL-3.0-or-later
// The progress of each action as the front ends receive it: its steps in
// order, each step's items in order, bytes that only grow and end at their
// totals; and pending events run at most every kEventIntervalMs.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "set_fixture.h"
#include "support/env_wrapper.h"

namespace tarvel {
namespace {

using testing::RandomBytes;
using testing::SetScenario;
using Steps = std::vector<ProgressStep>;

constexpr ProgressStep kAnalysing = ProgressStep::kAnalysing,
                       kHeaders = ProgressStep::kWritingHeaders,
                       kParity = ProgressStep::kWritingParity,
                       kChecksums = ProgressStep::kWritingChecksums,
                       kSearching = ProgressStep::kSearching, kFiles = ProgressStep::kCheckingFiles,
                       kVolumes = ProgressStep::kCheckingVolumes,
                       kRestoring = ProgressStep::kRestoring;

struct ProgressRow {
  const char* name;
  std::function<void(SetScenario&)> action;
  Steps steps;
};

void MakeSet(SetScenario& s) {
  int seed = 1;
  for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
    s.Write(name, RandomBytes(70000 + 30000 * seed, seed));
    ++seed;
  }
  ASSERT_TRUE(s.Create({"a.bin", "b.bin", "c.bin"}, 2));
  std::filesystem::remove(s.Path("b.bin"));
  s.ui = {};
}

class ProgressRecords : public ::testing::TestWithParam<ProgressRow> {};

TEST_P(ProgressRecords, StepsInOrderAndBytesThatEndAtTheirTotals) {
  SetScenario s;
  MakeSet(s);
  GetParam().action(s);
  const std::vector<ProgressRecord>& records = s.ui.records;
  Steps steps;
  for (std::size_t k = 0; k < records.size(); ++k) {
    const ProgressRecord& r = records[k];
    SCOPED_TRACE(ProgressText(r) + " at record " + std::to_string(k));
    EXPECT_GE(r.item, 0);
    EXPECT_LE(r.item, std::max(r.items - 1, 0));
    EXPECT_LE(r.itemDone, r.itemTotal);
    EXPECT_LE(r.stepDone, r.stepTotal);
    const bool sameStep = k > 0 && records[k - 1].step == r.step;
    if (!sameStep) {
      steps.push_back(r.step);
      continue;
    }
    const ProgressRecord& before = records[k - 1];
    EXPECT_GE(r.item, before.item);
    EXPECT_GE(r.stepDone, before.stepDone);
    EXPECT_EQ(r.stepTotal, before.stepTotal);
    // A step's last record has all its bytes.
    if (k + 1 == records.size() || records[k + 1].step != r.step) {
      EXPECT_EQ(r.stepDone, r.stepTotal);
    }
  }
  EXPECT_EQ(steps, GetParam().steps);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, ProgressRecords,
    ::testing::Values(
        ProgressRow{"Create",
                    [](SetScenario& s) {
                      s.Write("b.bin", RandomBytes(5000, 9));
                      ASSERT_TRUE(s.Create({"a.bin", "b.bin", "c.bin"}, 2, "new"));
                    },
                    {kAnalysing, kHeaders, kParity, kChecksums}},
        ProgressRow{"CreateInOnePass",
                    [](SetScenario& s) {
                      s.Write("b.bin", RandomBytes(5000, 9));
                      ASSERT_TRUE(s.Create({"a.bin", "b.bin", "c.bin"}, 2, "new", true));
                    },
                    {kHeaders, kParity, kChecksums}},
        ProgressRow{"Check", [](SetScenario& s) { s.Check(); }, {kSearching, kFiles, kVolumes}},
        ProgressRow{"Repair",
                    [](SetScenario& s) {
                      EXPECT_EQ(s.engine.Repair({s.Path("set.PAR")}).result, RepairResult::kAllOk);
                    },
                    {kSearching, kFiles, kVolumes, kRestoring, kSearching, kFiles, kVolumes}}),
    [](const ::testing::TestParamInfo<ProgressRow>& info) { return info.param.name; });

// The engine lets the front end run its pending events often enough to
// stay painted, but never more often than every kEventIntervalMs within an
// action.  The clock is the file layer's, which here moves on by a few
// milliseconds each time it is read.
TEST(ProgressPacing, PendingEventsRunAtMostEveryInterval) {
  constexpr std::int64_t kTickMs = 4;
  struct TickingEnv : testing::EnvWrapper {
    std::int64_t now = 0;
    std::int64_t NowMs() override { return now += kTickMs; }
  } env;
  struct Timed : testing::ScriptedInteraction {
    explicit Timed(TickingEnv& e) : env(e) {}
    TickingEnv& env;
    std::vector<std::int64_t> at;
    void ProcessEvents() override { at.push_back(env.now); }
  } ui(env);
  testing::TempDir dir;
  Engine engine(env, ui);
  std::vector<std::string> paths;
  for (int k = 0; k < 8; ++k) {
    paths.push_back(dir / std::string(1, static_cast<char>('a' + k)));
    testing::WriteBytes(paths.back(), RandomBytes(300000, k));
  }
  ASSERT_EQ(engine.Create(paths), CreateOutcome::kCreated);
  for (const char* action : {"create", "check"}) {
    SCOPED_TRACE(action);
    if (std::string(action) == "check") {
      ui.at.clear();  // the pace is that of one action
      ASSERT_EQ(engine.Check({dir / "a.PAR"}).outcome, CheckOutcome::kChecked);
    }
    ASSERT_GT(ui.at.size(), 2u);
    for (std::size_t k = 1; k < ui.at.size(); ++k) {
      EXPECT_GE(ui.at[k] - ui.at[k - 1], kEventIntervalMs) << k;
      EXPECT_LE(ui.at[k] - ui.at[k - 1], kEventIntervalMs + kTickMs) << k;
    }
  }
}

}  // namespace
}  // namespace tarvel
