// SPDX-License-Identifier: GPL-3.0-or-later
// The rules both front ends apply before creating a set.
#include "engine/set/create_rules.h"

#include <gtest/gtest.h>

#include "engine/format/format.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

using testing::TempDir;
using testing::WriteText;

TEST(CreateRules, ParityCountBoundsAndDefault) {
  struct Row {
    int files, max, fallback;
  };
  for (const Row r : {Row{2, 2, 1}, Row{9, 9, 1}, Row{10, 10, 2}, Row{127, 127, 13},
                      Row{128, 127, 13}, Row{231, 24, 24}, Row{232, 23, 23}, Row{250, 5, 5}}) {
    SCOPED_TRACE(r.files);
    EXPECT_EQ(ParityCountBoundsFor(r.files).min, 1);
    EXPECT_EQ(ParityCountBoundsFor(r.files).max, r.max);
    EXPECT_EQ(DefaultParityCount(r.files), r.fallback);
  }
}

TEST(CreateRules, DefaultBaseNameAndHiddenVolumes) {
  EXPECT_EQ(DefaultBaseName("photo.jpeg"), "photo");
  EXPECT_EQ(DefaultBaseName("README"), "README");
  EXPECT_EQ(DefaultBaseName("archive.tar.gz"), "archive.tar");
  for (const char* hidden : {"", ".x", "/tmp/.set", "dir/"})
    EXPECT_TRUE(GivesHiddenVolumes(hidden));
  for (const char* shown : {"set", "/tmp/.dir/set", "a.b"}) EXPECT_FALSE(GivesHiddenVolumes(shown));
}

TEST(CreateRules, FileChoiceIsSortedAndRefusedWithItsMessage) {
  TempDir dir;
  for (const char* n : {"b.dat", "A.dat", "a.dat", ".hidden"}) WriteText(dir / n, "x");
  std::filesystem::create_directory(dir / "sub");
  WriteText(dir / "sub/c.dat", "x");

  std::vector<std::string> good = {dir / "b.dat", dir / "A.dat", dir / "a.dat"};
  EXPECT_EQ(CheckFileChoice(Env::Default(), good), "");
  EXPECT_EQ(good, (std::vector<std::string>{dir / "A.dat", dir / "a.dat", dir / "b.dat"}));

  struct Row {
    std::vector<std::string> paths;
    std::string refusal;
  };
  const std::vector<Row> rows = {
      {{dir / "a.dat"}, "Only 2 - 250 files are supported."},
      {{}, "Only 2 - 250 files are supported."},
      {std::vector<std::string>(251, dir / "a.dat"), "Only 2 - 250 files are supported."},
      {{dir / "a.dat", dir / "sub/c.dat"},
       "All files of a set must lie in one folder: " + (dir / "sub/c.dat")},
      {{dir / "a.dat", dir / ".hidden"},
       "A hidden file cannot be protected, as a check would not find it under another name: " +
           (dir / ".hidden")},
      {{dir / "a.dat", dir / "a.dat"}, "A file is named twice."},
  };
  for (Row r : rows) EXPECT_EQ(CheckFileChoice(Env::Default(), r.paths), r.refusal);

  std::vector<std::string> notAFile = {dir / "a.dat", dir / "gone.dat"};
  EXPECT_THROW((void)CheckFileChoice(Env::Default(), notAFile), FileError);
}

TEST(CreateRules, FreeSpaceOfTheVolumesFolder) {
  EXPECT_EQ(FreeSpaceNeeded(1 << 30, 3), 3221225472LL + 1000000);
  TempDir dir;
  EXPECT_TRUE(HasRoomForVolumes(Env::Default(), dir / "set", 10, 1));
  EXPECT_FALSE(HasRoomForVolumes(Env::Default(), dir / "missing/set", 10, 1));
  EXPECT_FALSE(HasRoomForVolumes(Env::Default(), dir / "set", std::int64_t{1} << 62, 1));
}

TEST(CreateRules, VersionTextIsTheGeneratorVersion) {
  const std::string fromGenerator = std::to_string((kGenerator >> 16) & 0xff) + "." +
                                    std::to_string((kGenerator >> 8) & 0xff) + "." +
                                    std::to_string(kGenerator & 0xff);
  EXPECT_EQ(fromGenerator, kVersionText);
}

}  // namespace
}  // namespace tarvel
