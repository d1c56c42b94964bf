// SPDX-License-Identifier: GPL-3.0-or-later
// Replays the hostile-volume inputs of tests/fuzz/corpus (the fuzzer's seed
// sets and every input that once made the engine fail) through the same
// harness as the fuzz target: the whole check and restore must end without
// a crash, a path outside the set folder or an absurd write.  The seed sets
// are also checked for doing what they were made for, so the corpus keeps
// reaching the list decoder, the search and the restore.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/format/volume_reader.h"
#include "fuzz/volume_harness.h"
#include "set_fixture.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

using fuzz::Bytes;
using fuzz::VolumeHarness;

// From the build (CMake's absolute path): __FILE__ is relative to the
// compiler's folder when a compiler cache rewrites the paths it is given.
std::filesystem::path CorpusFolder() { return TARVEL_TEST_CORPUS_DIR; }

std::vector<std::filesystem::path> CorpusFiles() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusFolder())) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

Bytes Input(const std::string& name) {
  return testing::ReadBytes((CorpusFolder() / name).string());
}

TEST(HostileVolume, EveryCorpusInputEndsCleanly) {
  const std::vector<std::filesystem::path> files = CorpusFiles();
  ASSERT_GE(files.size(), 11u) << "corpus missing at " << CorpusFolder();
  VolumeHarness harness;
  for (const auto& file : files) {
    const Bytes input = testing::ReadBytes(file.string());
    EXPECT_EQ(harness.Run(input), "") << file.filename();
  }
}

TEST(HostileVolume, SeedSetsReachTheCheckAndTheRestore) {
  VolumeHarness harness;
  const auto has = [&](const std::string& name) {
    return testing::Exists(harness.Folder() + "/" + name);
  };
  const auto read = [&](const std::string& name) {
    return testing::ReadBytes(harness.Folder() + "/" + name);
  };

  // c.dat is missing from the folder and rebuilt from the parity volume.
  ASSERT_EQ(harness.Run(Input("seed-missing-restored")), "");
  ASSERT_TRUE(has("c.dat"));
  EXPECT_EQ(read("c.dat"), fuzz::DataC());
  ASSERT_EQ(harness.Run(Input("seed-second-volume")), "");
  EXPECT_EQ(read("c.dat"), fuzz::DataC());

  // b.bin lies under another name; the File search answer decides.
  ASSERT_EQ(harness.Run(Input("seed-moved-renamed")), "");
  EXPECT_TRUE(has("b.bin"));
  EXPECT_FALSE(has("moved.bin"));
  ASSERT_EQ(harness.Run(Input("seed-moved-copied")), "");
  EXPECT_EQ(read("b.bin"), fuzz::DataB());
  EXPECT_EQ(read("moved.bin"), fuzz::DataB());
  EXPECT_EQ(read("c.dat"), fuzz::DataC());

  // link.txt leads to a.txt inside the folder; rebuilding it replaces the
  // link with a file and leaves a.txt alone.
  ASSERT_EQ(harness.Run(Input("seed-restore-through-link")), "");
  EXPECT_FALSE(std::filesystem::is_symlink(harness.Folder() + "/link.txt"));
  EXPECT_EQ(read("link.txt"), fuzz::Text("linked content, not alpha\n"));
  EXPECT_EQ(read("a.txt"), fuzz::DataA());

  // Lists that name a.txt 252 and 22 times (built to reach the restore's
  // limits, which restore_test covers with sets of distinct names) are
  // refused: every entry of a list must be a file of its own.
  for (const char* seed : {"seed-too-many-files-in-parity", "seed-dependent-volumes"}) {
    ASSERT_EQ(harness.Run(Input(seed)), "");
    EXPECT_EQ(
        harness.Shown().messages,
        (std::vector<std::string>{kDuplicateNameText, "Error Reading lists. Operation aborted."}));
    EXPECT_FALSE(has("zz.bin"));
    EXPECT_FALSE(has("m1.bin"));
  }

  // Unsealed inputs are refused at the control digest.  Sealed, the copy of
  // the main volume numbered 1 is recognised but holds no parity data, so
  // nothing is restored from it.
  Bytes unsealed = Input("seed-copy-as-parity");
  unsealed[0] &= static_cast<std::uint8_t>(~fuzz::kSealBit);
  unsealed[1 + kOffControl] ^= 1;
  ASSERT_EQ(harness.Run(unsealed), "");
  EXPECT_FALSE(has("c.dat"));
  unsealed[0] |= fuzz::kSealBit;
  ASSERT_EQ(harness.Run(unsealed), "");
  EXPECT_FALSE(has("c.dat"));
}

// A parity volume whose digest is right but which ends before the parity of
// the largest file in parity cannot be restored from: it is reported as
// damaged and the restore refuses, instead of writing made-up content (or,
// for a listed size of a terabyte, filling the disk).
TEST(HostileVolume, ParityVolumeShorterThanItsDataIsNotUsable) {
  testing::SetScenario s;
  const Bytes b = testing::RandomBytes(400, 2);
  s.Write("a.bin", testing::RandomBytes(900, 1));
  s.Write("b.bin", b);
  s.Write("c.bin", testing::RandomBytes(50, 3));
  ASSERT_TRUE(s.Create({"a.bin", "b.bin", "c.bin"}, 1));
  const Bytes p01 = s.Read("set.P01");
  const std::size_t dataOffset = p01.size() - 900;

  for (const std::size_t kept : {std::size_t{0}, std::size_t{899}, std::size_t{900}}) {
    SCOPED_TRACE(kept);
    Bytes volume(p01.begin(), p01.begin() + static_cast<std::ptrdiff_t>(dataOffset + kept));
    fuzz::Seal(volume);
    s.Write("set.P01", volume);
    std::filesystem::remove(s.Path("b.bin"));
    const std::vector<std::string> lines = s.Check();
    const bool usable = kept == 900;
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), usable ? "set.P01 OK" : "set.P01 CRC Mismatch..."),
        lines.end());
    EXPECT_EQ(s.engine.Restore(false),
              usable ? RestoreOutcome::kRestored : RestoreOutcome::kNotEnoughVolumes);
    ASSERT_EQ(s.Has("b.bin"), usable);
    if (usable) {
      EXPECT_EQ(s.Read("b.bin"), b);
    }
  }
}

}  // namespace
}  // namespace tarvel
