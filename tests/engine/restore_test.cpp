// SPDX-License-Identifier: GPL-3.0-or-later
// Restoring end to end: rebuilding 1 to P files in one pass or file by file,
// the Restore prompt's answers, volumes under foreign names, the refusals,
// a singular volume pattern, and failures half-way that must leave every
// file exactly as it was.
#include "engine/set/restore.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/format/volume_reader.h"
#include "engine/io/replacing_writer.h"
#include "engine/set/action.h"
#include "parity/rs.h"
#include "set_fixture.h"
#include "support/faulty_env.h"

namespace tarvel {
namespace {

using testing::Bytes;
using testing::FaultyEnv;
using testing::RandomBytes;
using testing::SetScenario;
using testing::Snapshot;
using Lines = std::vector<std::string>;

const Lines kFiveFiles = {"a.bin", "b.bin", "c.bin", "d.bin", "e.bin"};

// Five files around the chunk size in the folder.
std::map<std::string, Bytes> WriteFiles(SetScenario& s) {
  const std::size_t sizes[] = {1000, 100000, 123457, 50000, 7};
  std::map<std::string, Bytes> contents;
  for (std::size_t k = 0; k < kFiveFiles.size(); ++k) {
    contents[kFiveFiles[k]] = RandomBytes(sizes[k], static_cast<std::uint32_t>(k + 1));
    s.Write(kFiveFiles[k], contents[kFiveFiles[k]]);
  }
  return contents;
}

// The five files in parity, and `parityCount` volumes.
std::map<std::string, Bytes> MakeSet(SetScenario& s, int parityCount) {
  std::map<std::string, Bytes> contents = WriteFiles(s);
  EXPECT_TRUE(s.Create(kFiveFiles, parityCount));
  s.ui = {};
  return contents;
}

// Damages file `name` in one of three ways, as a disk does (its
// modification time stays).
void Damage(SetScenario& s, const std::string& name, int how) {
  Bytes b = s.Read(name);
  switch (how % 3) {
    case 0:
      std::filesystem::remove(s.Path(name));
      return;
    case 1:
      b[b.size() / 2] ^= 0x5A;
      break;
    case 2:
      b.resize(b.size() / 2);
      break;
  }
  s.Corrupt(name, b);
}

bool AllOk(const Lines& report) {
  return std::find(report.begin(), report.end(), "All files OK.") != report.end();
}

TEST(RestoreTest, RebuildsUpToAsManyFilesAsVolumes) {
  const Lines order = {"a.bin", "b.bin", "c.bin", "d.bin", "e.bin"};
  for (bool askEachFile : {false, true}) {
    for (int bad = 1; bad <= 3; ++bad) {
      SCOPED_TRACE(std::to_string(bad) + (askEachFile ? " asked" : " at once"));
      SetScenario s;
      const auto contents = MakeSet(s, 3);
      const Lines damaged(order.begin() + (5 - bad), order.end());  // e, d, c: short ones first
      for (std::size_t k = 0; k < damaged.size(); ++k) Damage(s, damaged[k], static_cast<int>(k));
      s.Check();
      ASSERT_EQ(s.check.report.badFiles, bad);
      for (int k = 0; k < bad; ++k) s.ui.restoreReplies.push_back({RestoreButton::kYes, false});

      EXPECT_EQ(s.check.state, SetState::kRepairable);
      EXPECT_EQ(s.engine.Restore(askEachFile), RestoreOutcome::kRestored);
      EXPECT_TRUE(AllOk(s.Recheck()));
      for (const auto& [name, bytes] : contents) EXPECT_EQ(s.Read(name), bytes) << name;
      EXPECT_EQ(Snapshot(s.dir.path()).size(), 5u + 4u);  // no temporary file left
      EXPECT_TRUE(s.ui.messages.empty());
      if (askEachFile) {
        EXPECT_EQ(
            s.ui.restorePrompts, damaged == Lines{"e.bin"} ? damaged : [&] {
              Lines sorted = damaged;
              std::sort(sorted.begin(), sorted.end());
              return sorted;
            }());
        // Each file has its own progress from 0%.
        int restoring = 0;
        for (const std::string& t : s.ui.progressTexts) restoring += t.rfind("Restoring ", 0) == 0;
        EXPECT_EQ(restoring, bad);
      } else {
        EXPECT_TRUE(s.ui.restorePrompts.empty());
      }
    }
  }
}

TEST(RestoreTest, PromptAnswersDecideWhichFilesAreRebuilt) {
  struct Case {
    std::vector<RestoreReply> replies;
    std::size_t prompts;
    std::vector<bool> rebuilt;  // a, b, c
  };
  const RestoreReply yes{RestoreButton::kYes, false}, no{RestoreButton::kNo, false},
      yesAll{RestoreButton::kYes, true}, noAll{RestoreButton::kNo, true}, closed{};
  for (const Case& c :
       {Case{{no, yes, no}, 3, {false, true, false}}, Case{{yesAll}, 1, {true, true, true}},
        Case{{noAll}, 1, {false, false, false}},
        Case{{closed, yes, closed}, 3, {false, true, true}},
        Case{{yes, no, closed}, 3, {true, false, false}}}) {
    SCOPED_TRACE(c.prompts);
    SetScenario s;
    const auto contents = MakeSet(s, 3);
    Damage(s, "a.bin", 1);  // content changed
    Damage(s, "b.bin", 0);  // missing
    Damage(s, "c.bin", 2);  // shortened
    const auto before = Snapshot(s.dir.path());
    s.Check();
    s.ui.restoreReplies.assign(c.replies.begin(), c.replies.end());
    EXPECT_EQ(s.engine.Restore(true), RestoreOutcome::kRestored);
    EXPECT_EQ(s.ui.restorePrompts.size(), c.prompts);
    const Lines names = {"a.bin", "b.bin", "c.bin"};
    for (std::size_t k = 0; k < names.size(); ++k) {
      if (c.rebuilt[k]) {
        EXPECT_EQ(s.Read(names[k]), contents.at(names[k])) << names[k];
      } else if (before.count(names[k])) {
        EXPECT_EQ(s.Read(names[k]), before.at(names[k])) << names[k];  // untouched
      } else {
        EXPECT_FALSE(s.Has(names[k]));
      }
    }
  }
  // The next run starts asking again.
  SetScenario s;
  MakeSet(s, 2);
  Damage(s, "a.bin", 0);
  Damage(s, "b.bin", 0);
  s.Check();
  s.ui.restoreReplies = {{RestoreButton::kNo, true}};
  (void)s.engine.Restore(true);
  s.ui.restoreReplies = {{RestoreButton::kYes, false}, {RestoreButton::kYes, false}};
  (void)s.engine.Restore(true);
  EXPECT_EQ(s.ui.restorePrompts.size(), 3u);
  EXPECT_TRUE(AllOk(s.Recheck()));
}

TEST(RestoreTest, UsesVolumesUnderForeignNamesAndLeavesDeclinedMatchesAlone) {
  SetScenario s;
  const auto contents = MakeSet(s, 2);
  std::filesystem::rename(s.Path("set.P01"), s.Path("first.vol"));
  std::filesystem::rename(s.Path("set.P02"), s.Path("second"));
  std::filesystem::rename(s.Path("b.bin"), s.Path("elsewhere.dat"));
  Damage(s, "d.bin", 1);
  s.ui.renameReplies = {{RenameButton::kCancel, false}};
  s.Check();
  EXPECT_EQ(s.check.report.usableVolumes, 2);
  EXPECT_EQ(s.engine.Restore(false), RestoreOutcome::kRestored);
  EXPECT_EQ(s.Read("b.bin"), contents.at("b.bin"));
  EXPECT_EQ(s.Read("d.bin"), contents.at("d.bin"));
  EXPECT_EQ(s.Read("elsewhere.dat"), contents.at("b.bin"));
  s.ui.renameReplies = {{RenameButton::kCancel, false}};
  EXPECT_TRUE(AllOk(s.Recheck()));
}

TEST(RestoreTest, RefusalsChangeNothing) {
  SetScenario s;
  MakeSet(s, 2);
  s.Check();
  EXPECT_EQ(s.check.state, SetState::kAllOk);
  EXPECT_EQ(s.engine.Restore(true), RestoreOutcome::kNothingToRestore);
  EXPECT_EQ(s.ui.messages, Lines{"No files to restore..."});

  Damage(s, "a.bin", 1);
  Damage(s, "c.bin", 0);
  Damage(s, "e.bin", 2);
  std::filesystem::remove(s.Path("set.P02"));
  s.Check();
  const auto before = Snapshot(s.dir.path());
  s.ui.messages.clear();
  EXPECT_EQ(s.check.state, SetState::kUnrepairable);
  EXPECT_TRUE(s.ui.messages.empty());
  EXPECT_EQ(s.engine.Restore(true), RestoreOutcome::kNotEnoughVolumes);
  EXPECT_EQ(s.ui.messages,
            Lines{"You do not have enough parity volumes. 3 parity volumes are needed."});
  EXPECT_TRUE(s.ui.restorePrompts.empty());
  EXPECT_EQ(Snapshot(s.dir.path()), before);
}

// Limits that only volumes from elsewhere can reach: more than 251 files in
// parity, and volumes numbered above 128 needed to make up the count.
TEST(RestoreTest, SetsBeyondTheRecoveryLimitsAreRefused) {
  testing::TempDir dir;
  testing::ScriptedInteraction ui;
  SetModel m;
  ParityMatrix parity;
  const std::atomic<bool> stop{false};
  const auto restore = [&] {
    Action action(Env::Default(), ui, m, parity, 1, stop);
    return RestoreFromReport(action, false);
  };
  m.Folder = dir.path();
  m.FileCount = 252;
  for (int i = 0; i < m.FileCount; ++i) {
    m.FileTable[i].name = std::string("f").append(std::to_string(i));
    m.FileTable[i].status = 1;
    m.FileTable[i].filesize = 10;
    m.FileTable[i].present = m.FileTable[i].crcok = i != 7;
  }
  const auto usableVolume = [&](int v) {
    m.VolumeTable[v].name = std::string("v").append(std::to_string(v));
    m.VolumeTable[v].crcok = m.VolumeTable[v].present = 1;
  };
  usableVolume(1);
  EXPECT_EQ(restore(), RestoreOutcome::kUnsolvable);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("252 files in parity"), std::string::npos);

  m.FileCount = 3;
  for (int i = 0; i < 3; ++i) m.FileTable[i].present = m.FileTable[i].crcok = i == 0;
  for (int i = 3; i < 256; ++i) m.FileTable[i] = {};
  usableVolume(200);
  ui.messages.clear();
  EXPECT_EQ(restore(), RestoreOutcome::kNotEnoughVolumes);
  EXPECT_EQ(ui.messages,
            Lines{"You do not have enough parity volumes. 2 parity volumes are needed."});
  EXPECT_TRUE(Snapshot(dir.path()).empty());
}

TEST(RestoreTest, SingularVolumePatternIsRefusedBeforeWriting) {
  // Positions 3 and 100 missing with only volumes 1 and 4 usable: 3^3 = 100^3
  // in this field, so those two volumes cannot tell the files apart.
  SetScenario s;
  std::vector<std::string> names;
  for (int k = 0; k < 100; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "f%03d", k);
    names.push_back(name);
    s.Write(name, RandomBytes(20 + k, static_cast<std::uint32_t>(k)));
  }
  ASSERT_TRUE(s.Create(names, 4));
  std::filesystem::remove(s.Path("set.P02"));
  std::filesystem::remove(s.Path("set.P03"));
  Damage(s, "f002", 1);
  Damage(s, "f099", 0);
  s.Check();
  ASSERT_EQ(s.check.report.badFiles, 2);
  ASSERT_EQ(s.check.report.usableVolumes, 2);
  const auto before = Snapshot(s.dir.path());
  s.ui.restoreReplies = {{RestoreButton::kYes, true}};
  EXPECT_EQ(s.engine.Restore(true), RestoreOutcome::kUnsolvable);
  ASSERT_EQ(s.ui.messages.size(), 1u);
  EXPECT_NE(s.ui.messages[0].find("cannot be rebuilt"), std::string::npos);
  EXPECT_TRUE(s.ui.restorePrompts.empty());
  EXPECT_EQ(Snapshot(s.dir.path()), before);
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// A rebuilt file replaces the damaged one as the user had it: a private file
// stays private.  Nothing is written through a symbolic link, whether it
// leads within the set folder or out of it: the link is replaced by the
// rebuilt file, and what it led to stays as it was.  A socket that stood at
// a file's name lends the rebuilt file nothing (its mode is no file's).
TEST(RestoreTest, KeepsPermissionsAndReplacesLinks) {
  SetScenario s;
  const auto contents = MakeSet(s, 5);
  std::filesystem::remove(s.Path("a.bin"));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(s.Path("a.bin").size(), sizeof address.sun_path);
  s.Path("a.bin").copy(address.sun_path, sizeof address.sun_path - 1);
  const int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(socketFd);
  chmod(s.Path("b.bin").c_str(), 0600);
  std::filesystem::rename(s.Path("c.bin"), s.Path("c-real.bin"));
  std::filesystem::create_symlink("c-real.bin", s.Path("c.bin"));
  testing::TempDir outside;
  std::filesystem::rename(s.Path("d.bin"), outside / "d.bin");
  std::filesystem::create_symlink(outside / "d.bin", s.Path("d.bin"));
  Damage(s, "b.bin", 1);
  Bytes c = s.Read("c-real.bin");
  c[5] ^= 1;
  s.Corrupt("c-real.bin", c);
  Bytes d = testing::ReadBytes(outside / "d.bin");
  d[7] ^= 1;
  testing::Corrupt(outside / "d.bin", d);
  Damage(s, "e.bin", 0);  // missing: gets the mode of a newly created file
  s.Check();
  ASSERT_EQ(s.check.report.badFiles, 5);

  EXPECT_EQ(s.engine.Restore(false), RestoreOutcome::kRestored);
  EXPECT_TRUE(AllOk(s.Recheck()));
  EXPECT_EQ(ModeOf(s.Path("b.bin")), 0600u);
  EXPECT_FALSE(std::filesystem::is_symlink(s.Path("c.bin")));
  EXPECT_EQ(s.Read("c.bin"), contents.at("c.bin"));
  EXPECT_EQ(s.Read("c-real.bin"), c);
  EXPECT_FALSE(std::filesystem::is_symlink(s.Path("d.bin")));
  EXPECT_EQ(s.Read("d.bin"), contents.at("d.bin"));
  EXPECT_EQ(testing::ReadBytes(outside / "d.bin"), d);
  EXPECT_EQ(Snapshot(outside.path()).size(), 1u);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(ModeOf(s.Path("e.bin")), 0666u & ~mask);
  EXPECT_EQ(s.Read("a.bin"), contents.at("a.bin"));
  EXPECT_EQ(ModeOf(s.Path("a.bin")), 0666u & ~mask);
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

using testing::Reseal;

// Made again from the same files without its digest-only readme.txt, a set
// whose old volumes 2 and 3 come back (from a copy kept elsewhere): same set
// digest, same parity, but a longer list, so their parity data starts
// elsewhere.  Each volume is read
// at its own data offset, whichever volume the check was started from; one
// whose own parity data is cut short is not usable.
TEST(RestoreTest, StaleVolumesAreReadAtTheirOwnDataOffset) {
  for (const char* opened : {"set.PAR", "set.P02"}) {
    SCOPED_TRACE(opened);
    SetScenario s;
    const auto contents = WriteFiles(s);
    s.Write("readme.txt", testing::TextBytes("read me\n"));
    Lines withReadme = kFiveFiles;
    withReadme.push_back("readme.txt");
    ASSERT_TRUE(s.Create(withReadme, 3));  // readme.txt digest-only: the prompt is not answered
    const testing::Bytes second = s.Read("set.P02"), third = s.Read("set.P03");
    ASSERT_TRUE(s.Create(kFiveFiles, 1));
    EXPECT_TRUE(s.ui.messages.empty());  // the old set's volumes went with it
    s.Write("set.P02", second);
    s.Write("set.P03", third);
    Damage(s, "b.bin", 1);
    Damage(s, "c.bin", 1);
    Damage(s, "e.bin", 0);
    s.Check(opened);
    ASSERT_EQ(s.check.report.badFiles, 3);
    ASSERT_EQ(s.check.report.usableVolumes, 3);
    // Volume 2 is of the older list, one entry longer.
    EXPECT_EQ(ReadVolumeHeader(Env::Default(), s.Path("set.P02"))->dataOffset,
              ReadVolumeHeader(Env::Default(), s.Path("set.P01"))->dataOffset + 56 + 2 * 10);

    EXPECT_EQ(s.engine.Restore(false), RestoreOutcome::kRestored);
    EXPECT_TRUE(AllOk(s.Recheck()));
    for (const auto& [name, bytes] : contents) EXPECT_EQ(s.Read(name), bytes) << name;
    EXPECT_TRUE(s.ui.messages.empty());

    // Cut one byte short of its own parity data (and sealed again), an old
    // volume is not usable, although it would still reach as far as the
    // parity data of the shorter list.
    Bytes p3 = s.Read("set.P03");
    p3.pop_back();
    Reseal(p3);
    s.Write("set.P03", p3);
    const Lines lines = s.Check(opened);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "set.P03 CRC Mismatch..."), lines.end());
    EXPECT_EQ(s.check.report.usableVolumes, 2);
  }
}

// A volume can hold wrong parity under a right control digest (made from
// other files with the same set digest, or on purpose).  A rebuilt file is
// proven against its listed size and digests before it replaces anything:
// one that does not match leaves its file as it was, with a message, while
// the others of the run are put in place.
TEST(RestoreTest, RebuiltFileThatDoesNotMatchItsDigestsReplacesNothing) {
  for (bool askEachFile : {false, true}) {
    SCOPED_TRACE(askEachFile);
    SetScenario s;
    const auto contents = MakeSet(s, 2);
    Damage(s, "a.bin", 0);  // 1000 bytes, missing
    Damage(s, "c.bin", 1);  // 123457 bytes, changed
    // Wrong parity beyond the end of a.bin: only c.bin comes out wrong.
    Bytes p2 = s.Read("set.P02");
    p2[p2.size() - 100] ^= 0x40;
    Reseal(p2);
    s.Write("set.P02", p2);
    s.Check();
    ASSERT_EQ(s.check.report.usableVolumes, 2);
    const auto before = Snapshot(s.dir.path());

    s.ui.restoreReplies = {{RestoreButton::kYes, true}};
    EXPECT_EQ(s.engine.Restore(askEachFile), RestoreOutcome::kRestored);
    EXPECT_EQ(s.Read("a.bin"), contents.at("a.bin"));
    EXPECT_EQ(s.Read("c.bin"), before.at("c.bin"));
    ASSERT_EQ(s.ui.messages.size(), 1u);
    EXPECT_TRUE(s.ui.messages[0].starts_with("c.bin could not be rebuilt")) << s.ui.messages[0];
    EXPECT_EQ(Snapshot(s.dir.path()).size(), before.size() + 1);  // a.bin, no temporary file
    const Lines after = s.Recheck();
    EXPECT_NE(std::find(after.begin(), after.end(), "c.bin CRC Mismatch..."), after.end());
  }
}

// Nothing is written through a symbolic link standing where a file of the
// set belongs, whatever it leads to: another file of the set, a parity
// volume, a file outside the folder, or nothing.  The link is replaced by
// the rebuilt file; what it led to stays as it was, and the volumes are
// still intact afterwards.
TEST(RestoreTest, LinkWhereAFileBelongsIsReplacedNotWrittenThrough) {
  testing::TempDir outside;
  for (const std::string& target : Lines{"a.bin", "set.P02", outside / "b.bin", "gone"}) {
    SCOPED_TRACE(target);
    SetScenario s;
    const auto contents = MakeSet(s, 2);
    testing::WriteBytes(outside / "b.bin", RandomBytes(100000, 77));
    std::filesystem::remove(s.Path("b.bin"));
    std::filesystem::create_symlink(target, s.Path("b.bin"));
    s.Check();
    ASSERT_EQ(s.check.report.badFiles, 1);
    ASSERT_EQ(testing::VolumeOf(s.check.report, 2)->name, "set.P02");
    const auto before = Snapshot(s.dir.path());
    const auto outsideBefore = Snapshot(outside.path());

    EXPECT_EQ(s.engine.Restore(false), RestoreOutcome::kRestored);
    EXPECT_FALSE(std::filesystem::is_symlink(s.Path("b.bin")));
    EXPECT_EQ(s.Read("b.bin"), contents.at("b.bin"));
    auto after = Snapshot(s.dir.path());
    after.erase("b.bin");
    auto expected = before;
    expected.erase("b.bin");
    EXPECT_EQ(after, expected);
    EXPECT_EQ(Snapshot(outside.path()), outsideBefore);
    EXPECT_EQ(s.Check(), (Lines{"a.bin OK", "b.bin OK", "c.bin OK", "d.bin OK", "e.bin OK", " ",
                                "All files OK.", " ", "Found parity volumes:", "set.P01 OK",
                                "set.P02 OK", " ", "2 usable parity volumes found."}));
  }
}

// Stamps that tell of files last changed an hour ago: files written a moment
// before they are read are never taken as unchanged by their stamps alone.
// The action's own temporary files (by which it reads the file system's
// clock) are as new as they are.
FileStamp AnHourOld(const std::string& name, FileStamp stamp) {
  if (IsTemporaryName(BareName(name))) return stamp;
  constexpr std::int64_t kHour = 3'600'000'000'000;
  stamp.modifiedNs -= kHour;
  stamp.changedNs -= kHour;
  return stamp;
}

// A repair (check, rebuild, check again, as one action) ends with the report
// that a full check of the folder gives afterwards, whatever the damage; the
// check after the rebuild reads less when the files were settled and
// unchanged since the first check.
TEST(RestoreTest, RepairEndsWithTheReportOfAFullCheck) {
  struct Case {
    const char* name;
    std::function<void(SetScenario&)> damage;
  };
  const std::vector<Case> cases = {
      {"nothing wrong", [](SetScenario&) {}},
      {"a missing file", [](SetScenario& s) { Damage(s, "b.bin", 0); }},
      {"two damaged files",
       [](SetScenario& s) {
         Damage(s, "b.bin", 1);
         Damage(s, "c.bin", 2);
       }},
      {"a missing file and a damaged volume",
       [](SetScenario& s) {
         Damage(s, "c.bin", 0);
         Damage(s, "set.P01", 1);
       }},
      {"more bad files than volumes",
       [](SetScenario& s) {
         for (const char* name : {"a.bin", "b.bin", "c.bin"}) Damage(s, name, 0);
       }},
      {"a file under another name",
       [](SetScenario& s) {
         std::filesystem::rename(s.Path("d.bin"), s.Path("moved.bin"));
         Damage(s, "a.bin", 1);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int reads[2] = {0, 0};
    for (const bool settled : {false, true}) {
      FaultyEnv env(Env::Default());
      SetScenario s(env);
      MakeSet(s, 2);
      c.damage(s);
      if (settled) env.StampsAs(AnHourOld);
      const int before = env.Calls(FaultyEnv::kRead);
      ASSERT_EQ(s.engine.Repair({s.Path("set.PAR")}).outcome, CheckOutcome::kChecked);
      // No second check without a rebuild.
      reads[settled] = s.ui.reports.size() == 1 ? -1 : env.Calls(FaultyEnv::kRead) - before;
      EXPECT_EQ(s.ui.reports.back(), s.Check());
    }
    if (reads[0] >= 0) {
      EXPECT_LT(reads[1], reads[0]);
    }
  }
}

// The digests a repair remembers live for one action: a file changed after
// it cannot be taken for the one the action read, even when its stamp does
// not show the change; and within the action a file changed by another
// program while the rebuild runs is read again (its stamp moved).
TEST(RestoreTest, RememberedDigestsDieWithTheActionAndMissNoChange) {
  {
    FaultyEnv env(Env::Default());
    SetScenario s(env);
    MakeSet(s, 2);
    std::mutex mutex;
    std::map<std::string, FileStamp> firstSeen;
    env.StampsAs([&](const std::string& name, FileStamp stamp) {
      const std::lock_guard lock(mutex);
      return firstSeen.emplace(name, AnHourOld(name, stamp)).first->second;
    });
    for (const bool damaged : {false, true}) {
      if (damaged) Damage(s, "b.bin", 1);  // the same size, and a stamp that does not move
      ASSERT_EQ(s.engine.Check({s.Path("set.PAR")}).outcome, CheckOutcome::kChecked);
      EXPECT_EQ(AllOk(s.ui.reports.back()), !damaged);
    }
  }
  {
    FaultyEnv env(Env::Default());
    SetScenario s(env);
    MakeSet(s, 2);
    Damage(s, "b.bin", 0);
    env.StampsAs(AnHourOld);
    // e.bin is read by the check (its digest, then its first bytes as a
    // possible volume) and then by the rebuild, before which it is changed.
    env.BeforeRead(3, "e.bin", [&] { Damage(s, "e.bin", 1); });
    EXPECT_EQ(s.engine.Repair({s.Path("set.PAR")}).result, RepairResult::kStillBad);
    const Lines repaired = s.ui.reports.back();
    EXPECT_EQ(std::count(repaired.begin(), repaired.end(), "e.bin CRC Mismatch..."), 1);
    EXPECT_EQ(repaired, s.Check());
  }
  {
    // The same on a file system whose clock is an hour behind this
    // machine's (a server) and ticks so coarsely that nothing of this test
    // moves it: every file is as new as that clock, and a file changed
    // during the rebuild keeps its stamp.  Only the file system's clock
    // tells that the files read were not settled.
    FaultyEnv env(Env::Default());
    SetScenario s(env);
    MakeSet(s, 2);
    Damage(s, "b.bin", 0);
    std::mutex mutex;
    std::map<std::string, FileStamp> firstSeen;
    std::int64_t tick = 0;
    env.StampsAs([&](const std::string& name, FileStamp stamp) {
      const std::lock_guard lock(mutex);
      stamp = AnHourOld(std::string(), stamp);
      if (IsTemporaryName(BareName(name))) {
        stamp.modifiedNs = stamp.changedNs = tick > 0 ? tick : stamp.changedNs;
        return stamp;
      }
      const FileStamp& first = firstSeen.emplace(name, stamp).first->second;
      tick = std::max({tick, first.modifiedNs, first.changedNs});
      return first;
    });
    env.BeforeRead(3, "e.bin", [&] { Damage(s, "e.bin", 1); });
    EXPECT_EQ(s.engine.Repair({s.Path("set.PAR")}).result, RepairResult::kStillBad);
    const Lines repaired = s.ui.reports.back();
    EXPECT_EQ(std::count(repaired.begin(), repaired.end(), "e.bin CRC Mismatch..."), 1);
  }
}

// An unreadable sector is damage: the file is reported damaged (a volume
// unusable) with a note that says where the read failed, the check goes on,
// and a repair rebuilds what the readable volumes can, the new file in
// place of the old with its bad blocks.  A main volume with a bad sector
// gives way to another volume of the set.
TEST(RestoreTest, UnreadableSectorsAreDamageThatARepairMends) {
  struct Row {
    const char* name;
    std::vector<std::pair<std::string, std::int64_t>> sectors;  // file, byte
    std::vector<std::string> damaged;                           // also damaged, as a disk does
    // Also: a link stands at the name, to NAME.new, a file newer than the set.
    std::vector<std::string> linked;
    Lines firstReportHas;
    Lines notes;
    std::vector<std::string> messages;
    RepairResult result;
  };
  const std::vector<Row> rows = {
      {"a file",
       {{"b.bin", 70000}},
       {},
       {},
       {" ", "b.bin CRC Mismatch...", " ", "1 bad/missing files."},
       {"b.bin: a read failed at byte 69632 (Input/output error)"},
       {},
       RepairResult::kAllOk},
      {"two files",
       {{"a.bin", 10}, {"d.bin", 49999}},
       {},
       {},
       {"a.bin CRC Mismatch...", "d.bin CRC Mismatch...", "2 bad/missing files."},
       {"a.bin: a read failed at byte 0 (Input/output error)",
        "d.bin: a read failed at byte 49152 (Input/output error)"},
       {},
       RepairResult::kAllOk},
      {"a parity volume, with a damaged file the other mends",
       {{"set.P01", 90000}},
       {"c.bin"},
       {},
       {"set.P01 CRC Mismatch...", "set.P02 OK", "1 usable parity volumes found."},
       {"set.P01: a read failed at byte 86016 (Input/output error)"},
       {},
       RepairResult::kAllOk},
      {"the main volume's header",
       {{"set.PAR", 40}},
       {"c.bin"},
       {},
       {"c.bin CRC Mismatch...", "2 usable parity volumes found."},
       {"set.PAR: a read failed at byte 0 (Input/output error)"},
       {"Datei DIR/set.PAR kann nicht gelesen werden (Input/output error). The set is read from "
        "another of its volumes."},
       RepairResult::kAllOk},
      {"the main volume's list",
       {{"set.PAR", 200}},
       {},
       {},
       {"All files OK."},
       {"set.PAR: a read failed at byte 32 (Input/output error)"},
       {"Datei DIR/set.PAR kann nicht gelesen werden (Input/output error). The set is read from "
        "another of its volumes."},
       RepairResult::kAllOk},
      {"more than the volumes can mend",
       {{"a.bin", 0}, {"set.P02", 500}},
       {"e.bin"},
       {},
       {"a.bin CRC Mismatch...", "e.bin CRC Mismatch...", "1 usable parity volumes found."},
       {"a.bin: a read failed at byte 0 (Input/output error)",
        "set.P02: a read failed at byte 32 (Input/output error)"},
       {"You do not have enough parity volumes. 2 parity volumes are needed."},
       RepairResult::kUnchanged},
      {"a link at a file's name, to a newer file with a bad sector",
       {{"b.bin.new", 0}},
       {},
       {"b.bin"},
       {"b.bin CRC Mismatch...", "1 bad/missing files."},
       {"b.bin: a read failed at byte 0 (Input/output error)"},
       {},
       RepairResult::kAllOk},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FaultyEnv env(Env::Default());
    SetScenario s(env);
    const auto contents = MakeSet(s, 2);
    for (const std::string& name : row.damaged) Damage(s, name, 1);
    for (const std::string& name : row.linked) {
      // What the link leads to lends the file neither its time nor its state.
      s.Edit(name + ".new", RandomBytes(1000, 9));
      std::filesystem::remove(s.Path(name));
      std::filesystem::create_symlink(name + ".new", s.Path(name));
    }
    for (const auto& [name, at] : row.sectors) env.BadRegion(s.Path(name), at, at + 1);
    const auto before = Snapshot(s.dir.path());
    const RepairReport repair = s.engine.Repair({s.Path("set.PAR")});
    EXPECT_EQ(repair.result, row.result);
    ASSERT_EQ(repair.outcome, CheckOutcome::kChecked);
    const Lines& first = s.ui.reports.front();
    for (const std::string& line : row.firstReportHas) {
      EXPECT_NE(std::find(first.begin(), first.end(), line), first.end()) << line;
    }
    EXPECT_EQ(s.ui.notes.front(), row.notes);
    std::vector<std::string> messages;
    for (std::string m : s.ui.messages) {
      if (const auto at = m.find(s.dir.path()); at != std::string::npos) {
        m.replace(at, s.dir.path().size(), "DIR");
      }
      messages.push_back(m);
    }
    EXPECT_EQ(messages, row.messages);
    if (row.result == RepairResult::kAllOk) {
      for (const auto& [name, bytes] : contents) EXPECT_EQ(s.Read(name), bytes) << name;
      env.Clear();  // the bad blocks went with the files they were in
      EXPECT_TRUE(AllOk(s.Check()));
    } else {
      EXPECT_EQ(Snapshot(s.dir.path()), before);
    }
  }
}

}  // namespace
}  // namespace tarvel
