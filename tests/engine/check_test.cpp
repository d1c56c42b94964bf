// SPDX-License-Identifier: GPL-3.0-or-later
// Checking a set end to end: the report lines, files found by content with
// the File search answers (given and remembered), hidden and damaged files,
// and volumes recognised by content whatever their names.
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/format/format.h"
#include "engine/format/volume_reader.h"
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
  FaultyEnv env(Env::Default());
  SetScenario s(env);
  MakeSet(s);
  const Lines expected = Join(
      {"one.bin OK", "three.bin OK", "two.bin OK", "zz.txt (CRC only) OK", " ", "All files OK."},
      kVolumesOk);
  EXPECT_EQ(s.Check("set.PAR"), expected);
  EXPECT_EQ(s.check.report.badFiles, 0);
  EXPECT_EQ(s.check.report.usableVolumes, 2);
  EXPECT_EQ(s.Check("set.P02"), expected);

  // A relative volume path is resolved once: the set folder does not follow
  // later changes of the current folder (one made as the check reads).
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(s.dir.path());
  env.BeforeRead(1, "one.bin", [] { std::filesystem::current_path("/"); });
  const CheckReport relative = s.engine.Check({"set.PAR"});
  std::filesystem::current_path(previous);
  EXPECT_EQ(ReportTexts(relative.report), expected);
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
  EXPECT_EQ(s.check.report.badFiles, 2);
  // Each line says what it is, for the windows to mark, and where its name
  // ends, whatever the name looks like.
  using K = LineKind;
  const std::vector<std::pair<LineKind, std::size_t>> kinds = {
      {K::kGood, 7},  {K::kBlank, 0}, {K::kBad, 9},   {K::kBlank, 0},
      {K::kBlank, 0}, {K::kBad, 7},   {K::kBlank, 0}, {K::kBad, 6},
      {K::kBlank, 0}, {K::kTotal, 0}, {K::kBlank, 0}, {K::kHeading, 0},
      {K::kGood, 7},  {K::kGood, 7},  {K::kBlank, 0}, {K::kTotal, 0}};
  std::vector<std::pair<LineKind, std::size_t>> shown;
  for (const ReportLine& line : ReportLines(s.check.report))
    shown.emplace_back(line.kind, line.nameLength);
  EXPECT_EQ(shown, kinds);

  // A list whose size for a file disagrees with the file (a list made from a
  // file that grew while it was read): damage, although the digests match.
  SetScenario g;
  MakeSet(g);
  Bytes par = g.Read("set.PAR");
  const std::size_t entry = kHeaderSize;  // one.bin, the first entry
  PutU64(par.data() + entry + kEntryOffFileSize,
         GetU64(par.data() + entry + kEntryOffFileSize) + 1);
  testing::Reseal(par);
  g.Write("set.PAR", par);
  EXPECT_EQ(g.Check()[1], "one.bin CRC Mismatch...");

  // Only digest-only damage: never "All files OK.", but a summary of its
  // own and nothing to restore; one bad file in parity: "1 bad/missing files."
  SetScenario t;
  MakeSet(t);
  std::filesystem::remove(t.Path("zz.txt"));
  Lines lines = t.Check();
  EXPECT_EQ(lines[3], "zz.txt (CRC only) Missing...");
  EXPECT_EQ(lines[5], "1 bad/missing files (CRC only).");
  EXPECT_EQ(t.check.report.badFiles, 0);
  EXPECT_EQ(t.check.report.badCrcOnly, 1);
  EXPECT_EQ(t.check.state, SetState::kUnrepairable);
  std::filesystem::remove(t.Path("one.bin"));
  lines = t.Check();
  EXPECT_EQ(lines[7], "1 bad/missing files.");

  // A listed name starting with "." is looked up by its name; a folder of a
  // file's name counts as missing.
  SetScenario h;
  h.Write(".hidden", RandomBytes(100, 7));
  h.Write("plain.bin", RandomBytes(100, 8));
  ASSERT_TRUE(h.CreateBySteps({".hidden", "plain.bin"}, 1));
  std::filesystem::remove(h.Path("plain.bin"));
  std::filesystem::create_directory(h.Path("plain.bin"));
  EXPECT_EQ(h.Check(),
            (Lines{".hidden OK", " ", "plain.bin Missing...", " ", " ", "1 bad/missing files.", " ",
                   "Found parity volumes:", "set.P01 OK", " ", "1 usable parity volumes found."}));
  EXPECT_EQ(h.check.report.files[0].state, FileState::kOk);
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
    s.Write("moved2.dat", two);  // found under two names: offered once
    s.ui.renameReplies = {{c.button, false}};
    const Lines lines = s.Check();
    EXPECT_EQ(s.ui.renamePrompts.size(), 1u);
    EXPECT_TRUE(s.ui.messages.empty());
    EXPECT_EQ(s.Has("two.bin"), c.renamed || c.copied);
    EXPECT_EQ(s.Has("moved.dat") + s.Has("moved2.dat"), c.renamed ? 1 : 2);
    if (c.renamed || c.copied) {
      EXPECT_EQ(s.Read("two.bin"), two);
      EXPECT_EQ(lines[2], "two.bin OK");
    } else {
      EXPECT_EQ(lines[3], "two.bin Missing...");
    }
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
    EXPECT_EQ(s.check.report.badFiles, placed ? 0 : 2);
    // The next search asks again.
    if (!placed) {
      s.Check();
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
  EXPECT_EQ(s.check.report.badFiles, 1);
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
    env.Fail(FaultyEnv::kRename, 1, "moved.dat", false, EACCES);
    s.ui.renameReplies = {{RenameButton::kRename, false}};
    const Lines lines = s.Check();
    EXPECT_EQ(s.ui.messages, Lines{"Rename failed! (Permission denied)"});
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
  EXPECT_EQ(testing::VolumeOf(s.check.report, 1)->name, "data.bin");

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

using testing::Bytes;
using testing::RandomBytes;
using testing::SetScenario;
using Lines = std::vector<std::string>;

bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Files the search renamed or copied into place.
int Placed(const SetReport& report) {
  return static_cast<int>(std::count_if(report.actions.begin(), report.actions.end(), [](auto& a) {
    return a.kind == FileActionKind::kRenamed || a.kind == FileActionKind::kCopied;
  }));
}

// Of x.bin and y.bin with one content, y.bin is gone and x.bin is found
// with its content.  Renaming x.bin would only move the gap: a file that
// this set or another set in the folder lists is copied instead, whether
// Rename was answered now or stands.
TEST(CheckTest, FoundFileOfASetIsCopiedNeverRenamed) {
  for (const bool otherSet : {false, true}) {
    for (const RenameReply reply :
         {RenameReply{RenameButton::kRename, false}, RenameReply{RenameButton::kRename, true}}) {
      SCOPED_TRACE(std::to_string(otherSet) + std::to_string(reply.dontAskAgain));
      SetScenario s;
      const Bytes twin = RandomBytes(3000, 9);
      s.Write("x.bin", twin);
      s.Write("y.bin", twin);
      s.Write("z.bin", RandomBytes(500, 10));
      if (otherSet) {
        // x.bin belongs to the set "other" only.
        ASSERT_TRUE(s.Create({"x.bin", "z.bin"}, 1, "other"));
        ASSERT_TRUE(s.Create({"y.bin", "z.bin"}, 1));
      } else {
        ASSERT_TRUE(s.Create({"x.bin", "y.bin", "z.bin"}, 1));
      }
      std::filesystem::remove(s.Path("y.bin"));
      s.ui.renameReplies = {reply};
      const Lines lines = s.Check();
      EXPECT_EQ(s.ui.renamePrompts, Lines{"x.bin -> y.bin"});
      EXPECT_EQ(s.Read("x.bin"), twin);
      EXPECT_EQ(s.Read("y.bin"), twin);
      EXPECT_TRUE(Contains(lines, "All files OK.")) << ::testing::PrintToString(lines);
      if (otherSet) {
        EXPECT_TRUE(Contains(s.Check("other.PAR"), "All files OK."));
      }
    }
  }
}

// w.dat, outside the list, holds the content of y.bin and z.bin, which are
// both missing.  Once w.dat has been copied to y.bin it is not offered for
// z.bin again; y.bin, now in place, is, and as a file of the set it is
// copied although Rename is answered.
TEST(CheckTest, FoundFileIsNeverOfferedForASecondName) {
  SetScenario s;
  const Bytes twin = RandomBytes(3000, 11);
  s.Write("x.bin", RandomBytes(700, 12));
  s.Write("y.bin", twin);
  s.Write("z.bin", twin);
  ASSERT_TRUE(s.Create({"x.bin", "y.bin", "z.bin"}, 1));
  std::filesystem::rename(s.Path("y.bin"), s.Path("w.dat"));
  std::filesystem::remove(s.Path("z.bin"));
  s.ui.renameReplies = {{RenameButton::kCopy, false}, {RenameButton::kRename, false}};
  const Lines lines = s.Check();
  EXPECT_EQ(s.ui.renamePrompts, (Lines{"w.dat -> y.bin", "y.bin -> z.bin"}));
  for (const char* name : {"w.dat", "y.bin", "z.bin"}) EXPECT_EQ(s.Read(name), twin) << name;
  EXPECT_TRUE(Contains(lines, "All files OK."));
  EXPECT_EQ(Placed(s.check.report), 2);
}

// The content search takes neither a symbolic link nor a hidden file as a
// candidate: renaming a link would only move the link, and hidden files are
// not the user's.  The file stays missing and nothing is touched.
TEST(CheckTest, ContentSearchSkipsLinksAndHiddenFiles) {
  SetScenario s;
  MakeSet(s);
  testing::TempDir outside;
  const Bytes two = s.Read("two.bin");
  std::filesystem::rename(s.Path("two.bin"), outside / "two.bin");
  std::filesystem::create_symlink(outside / "two.bin", s.Path("alias.bin"));
  s.Write(".two.bin", two);
  s.ui.renameReplies = {{RenameButton::kRename, true}};
  const Lines lines = s.Check();
  EXPECT_TRUE(s.ui.renamePrompts.empty());
  EXPECT_TRUE(Contains(lines, "two.bin Missing..."));
  EXPECT_EQ(s.check.report.files[2].state, FileState::kMissing);
  EXPECT_TRUE(std::filesystem::is_symlink(s.Path("alias.bin")));
  EXPECT_EQ(testing::ReadBytes(outside / "two.bin"), two);
  EXPECT_EQ(s.Read(".two.bin"), two);
}

// Two files carry volume number 1.  A usable one is never displaced by an
// unusable one; of usable ones a regular file comes before a link and then
// the first name in byte order, whatever order the folder lists them in.
TEST(CheckTest, OfTwoVolumesWithOneNumberTheUsableAndFirstByNameWins) {
  struct Case {
    std::string other;    // the second file numbered 1
    std::string damaged;  // "", one of the two, or "both"
    bool link;            // the other is a link to set.P01
    std::string chosen;
  };
  for (const Case& c :
       {Case{"aa.P01", "", false, "aa.P01"}, Case{"zz.P01", "", false, "set.P01"},
        Case{"aa.P01", "set.P01", false, "aa.P01"}, Case{"aa.P01", "aa.P01", false, "set.P01"},
        Case{"zz.P01", "set.P01", false, "zz.P01"}, Case{"zz.P01", "zz.P01", false, "set.P01"},
        Case{"aa.P01", "both", false, "aa.P01"}, Case{"aa.P01", "", true, "set.P01"}}) {
    SCOPED_TRACE(c.other + " " + c.damaged + (c.link ? " link" : ""));
    SetScenario s;
    MakeSet(s);
    if (c.link) {
      std::filesystem::create_symlink("set.P01", s.Path(c.other));
    } else {
      s.Write(c.other, s.Read("set.P01"));
    }
    for (const std::string& name : {std::string("set.P01"), c.other}) {
      if (c.damaged != name && c.damaged != "both") continue;
      Bytes v = s.Read(name);
      v.back() ^= 1;
      s.Write(name, v);
    }
    std::filesystem::remove(s.Path("one.bin"));
    std::filesystem::remove(s.Path("set.P02"));
    const Lines lines = s.Check();
    const bool usable = c.damaged != "both";
    EXPECT_EQ(testing::VolumeOf(s.check.report, 1)->name, c.chosen);
    EXPECT_TRUE(Contains(lines, c.chosen + (usable ? " OK" : " CRC Mismatch...")));
    EXPECT_EQ(s.engine.Restore(false),
              usable ? RestoreOutcome::kRestored : RestoreOutcome::kNotEnoughVolumes);
    EXPECT_EQ(s.Has("one.bin"), usable);
  }
}

// A missing file found under another name and left there counts as
// mendable: the plan of a repair puts it in place first, so one volume is
// enough for the other bad file.  The plan leaves the set as it was.
TEST(CheckTest, PlanOfARepairCountsFilesFoundUnderOtherNames) {
  SetScenario s;
  MakeSet(s);
  std::filesystem::rename(s.Path("one.bin"), s.Path("moved.bin"));
  std::filesystem::remove(s.Path("two.bin"));
  std::filesystem::remove(s.Path("set.P02"));
  s.ui.renameReplies = {{RenameButton::kCancel, false}};
  s.Check();
  const SetReport& r = s.check.report;
  ASSERT_EQ(r.badFiles, 2);
  EXPECT_EQ(r.files[0].state, FileState::kFoundElsewhere);
  EXPECT_EQ(r.files[0].foundAs, "moved.bin");
  EXPECT_EQ(r.files[2].state, FileState::kMissing);
  EXPECT_EQ(s.check.state, SetState::kRepairable);
  EXPECT_EQ(ReportTexts(s.engine.CurrentReport()), ReportTexts(r));
  EXPECT_EQ(s.engine.Restore(false), RestoreOutcome::kNotEnoughVolumes);

  // Found is all it takes: nothing to rebuild.
  s.Write("two.bin", testing::RandomBytes(20000, 2));
  s.ui.renameReplies = {{RenameButton::kCancel, false}};
  s.Check();
  ASSERT_EQ(s.check.report.badFiles, 1);
  EXPECT_EQ(s.check.state, SetState::kRepairable);
}

// Verifying a file that is not a volume reads its header, not the whole
// file: a sparse file of a terabyte is refused at once.
TEST(CheckTest, NonVolumeIsRefusedBeforeItIsHashed) {
  SetScenario s;
  s.Write("huge.img", testing::TextBytes("not a volume"));
  std::error_code ec;
  std::filesystem::resize_file(s.Path("huge.img"), std::uintmax_t{1} << 40, ec);
  if (ec) GTEST_SKIP() << "no sparse file of 1 TiB here: " << ec.message();
  EXPECT_EQ(s.engine.Check({s.Path("huge.img")}).outcome, CheckOutcome::kUnreadable);
  EXPECT_EQ(s.ui.messages, (Lines{kNotAVolumeText, "Error Reading lists. Operation aborted."}));
}

// Each candidate of the content search is looked at once per search, not
// once per missing file: many missing files of one size in a folder of
// many files of that size open each candidate a bounded number of times
// (three by the search of the files, one by that of the volumes).
// Counts the opens of each file, and the bytes read from it.
class OpenCountingEnv : public testing::FaultyEnv {
 public:
  using FaultyEnv::FaultyEnv;
  std::unique_ptr<File> OpenRead(const std::string& path) override {
    {
      std::lock_guard lock(mutex);  // files are opened on the hashing threads
      ++opens[BareName(path)];
    }
    return FaultyEnv::OpenRead(path);
  }
  std::mutex mutex;
  std::map<std::string, int> opens;
  std::map<std::string, std::int64_t> bytesRead;

 protected:
  std::unique_ptr<File> WrapFile(std::unique_ptr<File> file) override {
    return std::make_unique<Counted>(*this, FaultyEnv::WrapFile(std::move(file)));
  }

 private:
  class Counted final : public testing::FileWrapper {
   public:
    Counted(OpenCountingEnv& env, std::unique_ptr<File> file)
        : FileWrapper(std::move(file)), env_(env) {}
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
      const std::size_t got = FileWrapper::ReadAt(offset, buffer, n);
      std::lock_guard lock(env_.mutex);
      env_.bytesRead[BareName(Name())] += static_cast<std::int64_t>(got);
      return got;
    }

   private:
    OpenCountingEnv& env_;
  };
};

TEST(CheckTest, ContentSearchLooksAtEachCandidateOncePerSearch) {
  OpenCountingEnv env(Env::Default());
  SetScenario s(env);
  Lines names;
  for (int k = 0; k < 40; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "f%d.bin", 100 + k);
    names.push_back(name);
    s.Write(names.back(), RandomBytes(2000, static_cast<std::uint32_t>(k)));
  }
  ASSERT_TRUE(s.Create(names, 1));
  for (int k = 0; k < 10; ++k) std::filesystem::remove(s.Path(names[k]));
  env.opens.clear();
  s.Check();
  for (int k = 10; k < 40; ++k) EXPECT_LE(env.opens[names[k]], 4) << names[k];
}

// A check reads each file and each volume once: the volumes are read beside
// the files (the one the set is read from before them), and the volume
// search takes their digests from that reading.  A volume changed after
// that reading (here before the volume search opens it) is read again, and
// its damage seen; so is one whose reading failed.
TEST(CheckTest, EachVolumeIsReadOnceUnlessItChangedOrFailed) {
  for (const char* meanwhile : {"nothing", "read from P02", "P02 changed", "P01 read failed"}) {
    SCOPED_TRACE(meanwhile);
    OpenCountingEnv env(Env::Default());
    SetScenario s(env);
    MakeSet(s);
    // Named like a volume, but none: only its head is ever read.
    s.Write("set.P07", RandomBytes(300000, 7));
    const std::string change = meanwhile;
    if (change == "P02 changed") {
      Bytes p2 = s.Read("set.P02");
      p2.back() ^= 1;
      // Opened for a look at its head, then for the reading beside the
      // files; the third opening is the volume search's.
      env.Before(FaultyEnv::kOpen, 3, "set.P02", [&s, p2] { s.Edit("set.P02", p2); });
    }
    if (change == "P01 read failed") env.Fail(FaultyEnv::kRead, 2, "set.P01", false, EIO);
    env.bytesRead.clear();
    const Lines lines = s.Check(change == "read from P02" ? "set.P02" : "set.PAR");
    const Lines volumes(lines.end() - 5, lines.end());
    if (change == "P02 changed") {
      EXPECT_EQ(volumes, (Lines{"Found parity volumes:", "set.P01 OK", "set.P02 CRC Mismatch...",
                                " ", "1 usable parity volumes found."}));
    } else {
      EXPECT_EQ(volumes, Lines(kVolumesOk.begin() + 1, kVolumesOk.end()));
    }
    for (const char* name : {"one.bin", "two.bin", "three.bin", "zz.txt", "set.P01", "set.P02"}) {
      const auto size = static_cast<std::int64_t>(std::filesystem::file_size(s.Path(name)));
      // Beside the reading for the digests, the volume search reads the
      // head of every file of the folder.
      const bool changed = change == "P02 changed" && std::string(name) == "set.P02";
      const bool failed = change == "P01 read failed" && std::string(name) == "set.P01";
      EXPECT_LE(env.bytesRead[name], (changed || failed ? 2 : 1) * size + 4096) << name;
      EXPECT_GE(env.bytesRead[name], (changed ? 2 * size - 4096 : size - 32)) << name;
    }
    EXPECT_LE(env.bytesRead["set.P07"], 4096);
  }
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

// Changes the file `victim` in place (same inode, same size) when the
// first temporary file is created: a copy has then opened its source, which
// was compared before, but the source no longer holds what was compared.
class ChangeWhileCopying : public testing::FaultyEnv {
 public:
  using FaultyEnv::FaultyEnv;
  std::unique_ptr<File> CreateNew(const std::string& path) override {
    if (!victim.empty()) {
      std::fstream f(victim, std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(10);
      f.put('\x7f');
      victim.clear();
    }
    return FaultyEnv::CreateNew(path);
  }
  std::string victim;
};

TEST(CheckTest, CopyThatDoesNotMatchIsNotPutInPlace) {
  ChangeWhileCopying env(Env::Default());
  SetScenario s(env);
  s.Write("one.bin", RandomBytes(70000, 1));
  s.Write("two.bin", RandomBytes(20000, 2));
  ASSERT_TRUE(s.Create({"one.bin", "two.bin"}, 1));
  std::filesystem::rename(s.Path("two.bin"), s.Path("moved.dat"));
  env.victim = s.Path("moved.dat");
  s.ui.renameReplies = {{RenameButton::kCopy, false}};
  const Lines lines = s.Check();
  EXPECT_EQ(s.ui.messages,
            Lines{"Copying moved.dat to two.bin failed: the copy does not have the size and "
                  "digests listed for two.bin. two.bin was left as it was."});
  EXPECT_FALSE(s.Has("two.bin"));
  EXPECT_EQ(testing::Snapshot(s.dir.path()).size(), 4u);  // no temporary file left
  EXPECT_TRUE(Contains(lines, "two.bin Missing..."));
  EXPECT_EQ(Placed(s.check.report), 0);
}

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

namespace tarvel {
namespace {

// A file that the set itself lists is never taken for an abandoned
// temporary file, however much its name looks like one.
TEST(CheckTest, ListedFileNamedLikeATemporaryFileStays) {
  testing::SetScenario s;
  const std::string listed = ".tarvel-0123456789abcdef.tmp";
  const testing::Bytes content = testing::RandomBytes(500, 1);
  s.Write(listed, content);
  s.Write("b.bin", testing::RandomBytes(700, 2));
  ASSERT_TRUE(s.CreateBySteps({listed, "b.bin"}, 1));
  const std::vector<std::string> lines = s.Check();
  EXPECT_EQ(s.Read(listed), content);
  EXPECT_NE(std::find(lines.begin(), lines.end(), listed + " OK"), lines.end());
}

}  // namespace
}  // namespace tarvel
