// Randomized round trips: sets of random sizes and shapes, damaged within
// and beyond what their volumes can repair.  A restore either gives back
// every file exactly or is refused with nothing on disk changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "set_fixture.h"

namespace tarvel {
namespace {

using testing::Bytes;
using testing::SetScenario;
using testing::Snapshot;

TEST(RandomSetsTest, RestoredExactlyWhenPossibleAndUnchangedOtherwise) {
  std::mt19937 rng(20261208);
  const auto uniform = [&](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
  };
  int restored = 0, refused = 0;
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    SetScenario s;
    const int n = uniform(2, 40);
    // Most sets are small; one in eight has files up to 300000 bytes.
    const int maxSize = uniform(0, 7) == 0 ? 300000 : 4000;
    std::vector<std::string> names;
    std::vector<Bytes> contents;
    for (int k = 0; k < n; ++k) {
      names.push_back("file" + std::to_string(100 + k) + ".dat");
      Bytes b(static_cast<std::size_t>(uniform(1, maxSize)));
      for (auto& byte : b) byte = static_cast<std::uint8_t>(rng());
      contents.push_back(b);
      s.Write(names.back(), b);
    }
    const int p = uniform(1, std::min(n, 255 - n));
    ASSERT_TRUE(s.Create(names, p));

    // Lose or damage some volumes, then damage up to p + 1 files.
    std::vector<bool> usable(p + 1, true);
    for (int v = 1; v <= p; ++v) {
      if (uniform(0, 3) != 0) continue;
      usable[v] = false;
      const std::string vol = s.Path(VolumeFileName("set", v));
      if (uniform(0, 1) == 0) {
        std::filesystem::remove(vol);
      } else {
        Bytes b = testing::ReadBytes(vol);
        b[uniform(49, static_cast<int>(b.size()) - 1)] ^= 0x80;
        testing::WriteBytes(vol, b);
      }
    }
    std::vector<int> order(n);
    for (int k = 0; k < n; ++k) order[k] = k;
    std::shuffle(order.begin(), order.end(), rng);
    const int bad = std::min(n, uniform(0, p + 1));
    for (int j = 0; j < bad; ++j) {
      const std::string path = s.Path(names[order[j]]);
      Bytes b = contents[order[j]];
      switch (uniform(0, 2)) {
        case 0:
          std::filesystem::remove(path);
          continue;
        case 1:
          b[uniform(0, static_cast<int>(b.size()) - 1)] ^=
              static_cast<std::uint8_t>(uniform(1, 255));
          break;
        default:
          b.resize(b.size() / 2);
          break;
      }
      testing::WriteBytes(path, b);
    }

    s.Check();
    const SetModel& m = s.engine.Model();
    ASSERT_EQ(m.BadFileCount, bad);
    const int usableCount = static_cast<int>(std::count(usable.begin() + 1, usable.end(), true));
    ASSERT_EQ(m.UsableVolumeCount, usableCount);
    // The lowest volumes, when all usable, always solve the system.
    const bool consecutive = bad <= p && std::all_of(usable.begin() + 1, usable.begin() + 1 + bad,
                                                     [](bool u) { return u; });

    const auto before = Snapshot(s.dir.path());
    const bool askEachFile = uniform(0, 1) == 1;
    s.ui.restoreReplies = {{RestoreButton::kYes, true}};
    const RestoreOutcome outcome = s.engine.RestoreFromReport(askEachFile);
    if (bad == 0) {
      EXPECT_EQ(outcome, RestoreOutcome::kNothingToRestore);
    } else if (bad > usableCount) {
      EXPECT_EQ(outcome, RestoreOutcome::kNotEnoughVolumes);
    } else if (consecutive) {
      EXPECT_EQ(outcome, RestoreOutcome::kRestored);
    }
    if (outcome == RestoreOutcome::kRestored) {
      ++restored;
      s.Recheck();
      EXPECT_EQ(m.BadFileCount, 0);
      for (int k = 0; k < n; ++k) ASSERT_EQ(s.Read(names[k]), contents[k]) << names[k];
    } else {
      ++refused;
      EXPECT_EQ(Snapshot(s.dir.path()), before);
    }
  }
  // Both kinds of outcome were exercised.
  EXPECT_GT(restored, 50);
  EXPECT_GT(refused, 20);
}

}  // namespace
}  // namespace tarvel
