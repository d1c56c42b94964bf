// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's record of what a search and a restore did to the files of a
// set, which front ends report to programs: every outcome of a file found
// under another name, and rebuilt files.

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "set_fixture.h"
#include "support/faulty_env.h"

namespace tarvel {
namespace {

using testing::FaultyEnv;
using testing::SetScenario;

std::string Describe(const FileActionLog& log) {
  std::string text;
  for (const FileAction& a : log) {
    static const char* const kNames[] = {"found",       "renamed", "rename failed", "copied",
                                         "copy failed", "rebuilt", "not rebuilt"};
    text += std::string(kNames[static_cast<int>(a.kind)]) + " " + a.name;
    if (!a.other.empty()) text += " <- " + a.other;
    text += "; ";
  }
  return text;
}

struct FoundCase {
  const char* name;
  RenameButton button;
  bool refuse;  // the file layer refuses every create and rename
  std::string expected;
};

class FileActions : public ::testing::TestWithParam<FoundCase> {};

TEST_P(FileActions, FoundFileOutcomes) {
  const FoundCase& c = GetParam();
  FaultyEnv env(Env::Default());
  SetScenario s(env);
  s.Write("a.bin", testing::RandomBytes(3000, 1));
  s.Write("b.bin", testing::RandomBytes(2000, 2));
  ASSERT_TRUE(s.Create({"a.bin", "b.bin"}, 1));
  std::filesystem::rename(s.Path("b.bin"), s.Path("other.bin"));
  if (c.refuse) env.Fail(FaultyEnv::kCreate, 1, "", /*sticky=*/true);
  if (c.refuse) env.Fail(FaultyEnv::kRename, 1, "", /*sticky=*/true);
  // One answer; a copy that fails is asked again and then left alone.
  s.ui.renameReplies = {{c.button, false}, {RenameButton::kCancel, false}};
  s.Check();
  EXPECT_EQ(Describe(s.check.report.actions), c.expected);

  // Each check starts a new record: b.bin is found again only where it was
  // not put in place.
  env.Clear();
  s.ui.renameReplies = {{RenameButton::kCancel, false}};
  s.Check();
  const bool placed = c.button != RenameButton::kCancel && !c.refuse;
  EXPECT_EQ(Describe(s.check.report.actions), placed ? "" : "found b.bin <- other.bin; ");
}

INSTANTIATE_TEST_SUITE_P(
    Search, FileActions,
    ::testing::Values(FoundCase{"Left", RenameButton::kCancel, false, "found b.bin <- other.bin; "},
                      FoundCase{"Renamed", RenameButton::kRename, false,
                                "found b.bin <- other.bin; renamed b.bin <- other.bin; "},
                      FoundCase{"Copied", RenameButton::kCopy, false,
                                "found b.bin <- other.bin; copied b.bin <- other.bin; "},
                      FoundCase{"RenameRefused", RenameButton::kRename, true,
                                "found b.bin <- other.bin; rename failed b.bin <- other.bin; "},
                      FoundCase{"CopyFailed", RenameButton::kCopy, true,
                                "found b.bin <- other.bin; copy failed b.bin <- other.bin; "}),
    [](const ::testing::TestParamInfo<FoundCase>& info) { return info.param.name; });

TEST(FileActionsRestore, RebuiltAndNotRebuilt) {
  FaultyEnv env(Env::Default());
  SetScenario s(env);
  s.Write("a.bin", testing::RandomBytes(3000, 1));
  s.Write("b.bin", testing::RandomBytes(2000, 2));
  s.Write("c.bin", testing::RandomBytes(1000, 3));
  ASSERT_TRUE(s.Create({"a.bin", "b.bin", "c.bin"}, 2));
  std::filesystem::remove(s.Path("a.bin"));
  std::filesystem::remove(s.Path("c.bin"));

  s.Check();
  env.Fail(FaultyEnv::kWrite, 1, "", /*sticky=*/true);
  EXPECT_THROW(s.engine.Restore(false), FileError);
  EXPECT_EQ(Describe(s.engine.CurrentReport().actions), "not rebuilt a.bin; not rebuilt c.bin; ");

  env.Clear();
  s.Check();
  EXPECT_EQ(s.engine.Restore(false), RestoreOutcome::kRestored);
  EXPECT_EQ(Describe(s.Report().actions), "rebuilt a.bin; rebuilt c.bin; ");
}

}  // namespace
}  // namespace tarvel
