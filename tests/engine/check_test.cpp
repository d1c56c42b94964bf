// Checking a set end to end: the report lines, files found by content with
// the File search answers (given and remembered), hidden and damaged files,
// and volumes recognised by content whatever their names.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/read_volume.h"
#include "set_fixture.h"
#include "support/faulty_env.h"

namespace tarvel {
namespace {

using testing::Bytes;
using testing::FaultyEnv;
using testing::RandomBytes;
using testing::SetScenario;
using Lines = std::vector<std::string>;

// A set of three files in parity and one digest-only file, two volumes.
void MakeSet(SetScenario& s) {
  s.Write("one.bin", RandomBytes(70000, 1));
  s.Write("two.bin", RandomBytes(20000, 2));
  s.Write("three.bin", RandomBytes(30000, 3));
  s.Write("zz.txt", RandomBytes(500, 4));
  s.ui.includeAnswers = {false};
  ASSERT_TRUE(s.Create({"one.bin", "two.bin", "three.bin", "zz.txt"}, 2));
  s.ui = {};
}

const Lines kVolumesOk = {" ", "Found parity volumes:",         "set.P01 OK", "set.P02 OK",
                          " ", "2 usable parity volumes found."};

Lines Join(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(CheckTest, IntactSetGivesTheFullReportFromAnyVolume) {
  SetScenario s;
  MakeSet(s);
  const Lines expected = Join(
      {"one.bin OK", "three.bin OK", "two.bin OK", "zz.txt (CRC only) OK", " ", "All files OK."},
      kVolumesOk);
  EXPECT_EQ(s.Check("set.PAR"), expected);
  EXPECT_EQ(s.engine.Model().BadFileCount, 0);
  EXPECT_EQ(s.engine.Model().UsableVolumeCount, 2);
  EXPECT_EQ(s.engine.SetFolder(), s.dir.path());
  EXPECT_EQ(s.Check("set.P02"), expected);

  // A relative volume path is resolved once: the set folder does not follow
  // later changes of the current folder.
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(s.dir.path());
  ASSERT_TRUE(s.engine.ReadVolume("set.PAR"));
  std::filesystem::current_path("/");
  s.engine.SearchFiles();
  s.engine.FindVolumes();
  Lines relative;
  s.engine.BuildReport(relative);
  std::filesystem::current_path(previous);
  EXPECT_EQ(relative, expected);
  EXPECT_EQ(s.engine.SetFolder(), s.dir.path());
  EXPECT_TRUE(s.ui.renamePrompts.empty());
  EXPECT_FALSE(s.ui.progressVisible);

  // Progress: the search, then one line per file, then one per volume.
  const Lines texts = {"Searching files...", "Checking one.bin", "Checking three.bin",
                       "Checking two.bin",   "Checking zz.txt",  "Checking set.PAR",
                       "Checking set.P01",   "Checking set.P02"};
  EXPECT_EQ(Lines(s.ui.progressTexts.end() - 8, s.ui.progressTexts.end()), texts);
}

TEST(CheckTest, DamageIsReportedAndCountedOnlyForFilesInParity) {
  SetScenario s;
  MakeSet(s);
  Bytes two = s.Read("two.bin");
  two[19999] ^= 1;
  s.Write("two.bin", two);
  s.Write("zz.txt", RandomBytes(500, 99));
  std::filesystem::remove(s.Path("three.bin"));
  EXPECT_EQ(s.Check(),
            Join({"one.bin OK", " ", "three.bin Missing...", " ", " ", "two.bin CRC Mismatch...",
                  " ", "zz.txt (CRC only) CRC Mismatch...", " ", "2 bad/missing files."},
                 kVolumesOk));
  EXPECT_EQ(s.engine.Model().BadFileCount, 2);

  // Only digest-only damage: all files OK; one bad file: "1 bad/missing files."
  SetScenario t;
  MakeSet(t);
  std::filesystem::remove(t.Path("zz.txt"));
  Lines lines = t.Check();
  EXPECT_EQ(lines[3], "zz.txt (CRC only) Missing...");
  EXPECT_EQ(lines[5], "All files OK.");
  std::filesystem::remove(t.Path("one.bin"));
  lines = t.Check();
  EXPECT_EQ(lines[7], "1 bad/missing files.");

  // A file that is there but hidden from the listing, or a folder of the
  // file's name, counts as missing.
  SetScenario h;
  h.Write(".hidden", RandomBytes(100, 7));
  h.Write("plain.bin", RandomBytes(100, 8));
  ASSERT_TRUE(h.Create({".hidden", "plain.bin"}, 1));
  std::filesystem::remove(h.Path("plain.bin"));
  std::filesystem::create_directory(h.Path("plain.bin"));
  EXPECT_EQ(h.Check(), (Lines{" ", ".hidden Missing...", " ", " ", "plain.bin Missing...", " ", " ",
                              "2 bad/missing files.", " ", "Found parity volumes:", "set.P01 OK",
                              " ", "1 usable parity volumes found."}));
  EXPECT_EQ(h.engine.Model().FileTable[0].crcok, 0);
}

TEST(CheckTest, FileFoundByContentIsRenamedOrCopiedAsAnswered) {
  struct Case {
    RenameButton button;
    bool renamed, copied;
  };
  for (const Case& c :
       {Case{RenameButton::kRename, true, false}, Case{RenameButton::kCopy, false, true},
        Case{RenameButton::kCancel, false, false}, Case{RenameButton::kClosed, false, false}}) {
    SCOPED_TRACE(static_cast<int>(c.button));
    SetScenario s;
    MakeSet(s);
    const Bytes two = s.Read("two.bin");
    std::filesystem::rename(s.Path("two.bin"), s.Path("moved.dat"));
    s.ui.renameReplies = {{c.button, false}};
    const Lines lines = s.Check();
    EXPECT_EQ(s.ui.renamePrompts, Lines{"moved.dat -> two.bin"});
    EXPECT_EQ(s.ui.renameResets, 1);
    EXPECT_EQ(s.Has("two.bin"), c.renamed || c.copied);
    EXPECT_EQ(s.Has("moved.dat"), !c.renamed);
    if (c.renamed || c.copied) {
      EXPECT_EQ(s.Read("two.bin"), two);
      EXPECT_EQ(lines[2], "two.bin OK");
    } else {
      EXPECT_EQ(lines[3], "two.bin Missing...");
    }
    EXPECT_EQ(s.engine.Model().RenameAnswer, 0);
  }
}

TEST(CheckTest, DontAskAgainHoldsForOneSearch) {
  for (RenameButton button : {RenameButton::kRename, RenameButton::kCopy, RenameButton::kCancel}) {
    SCOPED_TRACE(static_cast<int>(button));
    SetScenario s;
    MakeSet(s);
    std::filesystem::rename(s.Path("one.bin"), s.Path("x1"));
    std::filesystem::rename(s.Path("two.bin"), s.Path("x2"));
    s.ui.renameReplies = {{button, true}};
    const Lines lines = s.Check();
    EXPECT_EQ(s.ui.renamePrompts.size(), 1u);  // the second match is handled without asking
    const bool placed = button != RenameButton::kCancel;
    EXPECT_EQ(s.Has("one.bin"), placed);
    EXPECT_EQ(s.Has("two.bin"), placed);
    EXPECT_EQ(s.Has("x1"), button != RenameButton::kRename);
    EXPECT_EQ(s.engine.Model().BadFileCount, placed ? 0 : 2);
    // The next search asks again.
    if (!placed) {
      s.engine.SearchFiles();
      EXPECT_EQ(s.ui.renamePrompts.size(), 3u);
    }
  }
}

TEST(CheckTest, OnlyWholeContentMatchesAreOffered) {
  SetScenario s;
  Bytes big = RandomBytes(40000, 5);
  s.Write("big.bin", big);
  s.Write("other.bin", RandomBytes(100, 6));
  ASSERT_TRUE(s.Create({"big.bin", "other.bin"}, 1));
  std::filesystem::remove(s.Path("big.bin"));
  big[30000] ^= 0xFF;  // the first 16 KiB still match
  s.Write("lookalike.bin", big);
  s.Check();
  EXPECT_TRUE(s.ui.renamePrompts.empty());
  EXPECT_EQ(s.engine.Model().BadFileCount, 1);
}

TEST(CheckTest, FailedCopyAsksAgainOrEndsTheCheck) {
  {
    // From the prompt: the error is shown and the prompt comes back.
    FaultyEnv env(Env::Default());
    SetScenario s(env);
    MakeSet(s);
    std::filesystem::rename(s.Path("two.bin"), s.Path("moved.dat"));
    env.Fail(FaultyEnv::kCreate, 1, ".tarvel-", /*sticky=*/true);
    s.ui.renameReplies = {{RenameButton::kCopy, true}, {RenameButton::kCancel, false}};
    s.Check();
    EXPECT_EQ(s.ui.renamePrompts.size(), 2u);
    EXPECT_EQ(s.ui.messages, Lines{CannotCreateText(s.Path("two.bin")) + "."});
    EXPECT_EQ(s.engine.Model().RenameAnswer, 0);
    EXPECT_FALSE(s.Has("two.bin"));
    EXPECT_EQ(testing::Snapshot(s.dir.path()).size(), 7u);  // no temporary file left
  }
  {
    // From a remembered answer: the check ends with the error.
    FaultyEnv env(Env::Default());
    SetScenario s(env);
    MakeSet(s);
    std::filesystem::rename(s.Path("one.bin"), s.Path("m1"));
    std::filesystem::rename(s.Path("two.bin"), s.Path("m2"));
    s.ui.renameReplies = {{RenameButton::kCopy, true}};
    env.Fail(FaultyEnv::kWrite, 2, ".tarvel-");
    EXPECT_THROW(s.Check(), FileError);
    EXPECT_EQ(s.Read("one.bin"), s.Read("m1"));
    EXPECT_FALSE(s.Has("two.bin"));
  }
  {
    // A refused rename: "Rename failed!" and the search goes on.
    FaultyEnv env(Env::Default());
    SetScenario s(env);
    MakeSet(s);
    std::filesystem::rename(s.Path("two.bin"), s.Path("moved.dat"));
    env.Fail(FaultyEnv::kRename, 1, "moved.dat");
    s.ui.renameReplies = {{RenameButton::kRename, false}};
    const Lines lines = s.Check();
    EXPECT_EQ(s.ui.messages, Lines{"Rename failed!"});
    EXPECT_EQ(lines[3], "two.bin Missing...");
  }
}

TEST(CheckTest, VolumesAreRecognisedByContent) {
  SetScenario s;
  MakeSet(s);
  std::filesystem::rename(s.Path("set.P01"), s.Path("data.bin"));
  chmod(s.Path("data.bin").c_str(), 0444);
  Bytes p2 = s.Read("set.P02");
  p2[p2.size() - 1] ^= 1;
  s.Write("set.P02", p2);

  // A volume of another set in the same folder is ignored.
  SetScenario other;
  other.Write("q.bin", RandomBytes(10, 1));
  other.Write("r.bin", RandomBytes(10, 2));
  ASSERT_TRUE(other.Create({"q.bin", "r.bin"}, 1, "other"));
  s.Write("other.P01", other.Read("other.P01"));

  const Lines lines = s.Check();
  EXPECT_EQ(Lines(lines.end() - 5, lines.end()),
            (Lines{"Found parity volumes:", "data.bin OK", "set.P02 CRC Mismatch...", " ",
                   "1 usable parity volumes found."}));
  EXPECT_EQ(s.engine.Model().VolumeTable[1].name, "data.bin");

  std::filesystem::remove(s.Path("data.bin"));
  std::filesystem::remove(s.Path("set.P02"));
  const Lines none = s.Check();
  EXPECT_EQ(Lines(none.end() - 3, none.end()),
            (Lines{"Found parity volumes:", " ", "No usable parity volumes found"}));
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

// Temporary files left by a process that was killed are removed by the next
// check of the folder; one that an action still holds, and hidden files that
// only look alike, stay.
TEST(CheckTest, AbandonedTemporaryFilesAreRemovedHeldOnesStay) {
  testing::SetScenario s;
  s.Write("a.bin", testing::RandomBytes(500, 1));
  s.Write("b.bin", testing::RandomBytes(700, 2));
  ASSERT_TRUE(s.Create({"a.bin", "b.bin"}, 1));
  const std::string abandoned = ".tarvel-0123456789abcdef.tmp";
  s.Write(abandoned, testing::RandomBytes(100, 3));
  for (const char* lookalike : {".tarvel-notes.tmp", ".tarvel-0123456789ABCDEF.tmp", ".keep"}) {
    s.Write(lookalike, {1});
  }
  std::filesystem::create_symlink("a.bin", s.Path(".tarvel-00000000000000ff.tmp"));
  auto held = Env::Default().CreateNew(s.Path(".tarvel-fedcba9876543210.tmp"));

  EXPECT_FALSE(s.Check().empty());
  EXPECT_FALSE(s.Has(abandoned));
  for (const char* kept : {".tarvel-notes.tmp", ".tarvel-0123456789ABCDEF.tmp", ".keep",
                           ".tarvel-fedcba9876543210.tmp"}) {
    EXPECT_TRUE(s.Has(kept)) << kept;
  }
  EXPECT_TRUE(std::filesystem::is_symlink(s.Path(".tarvel-00000000000000ff.tmp")));
  held.reset();
  EXPECT_FALSE(s.Check().empty());
  EXPECT_FALSE(s.Has(".tarvel-fedcba9876543210.tmp"));
}

}  // namespace
}  // namespace tarvel
