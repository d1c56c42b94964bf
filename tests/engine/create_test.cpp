// SPDX-License-Identifier: GPL-3.0-or-later
// Creating a set end to end in a temporary folder: the exact bytes of every
// volume, the passes over chunks, the small-file rule with its prompt,
// digest-only and empty files, and failures of the file layer half-way.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "checksum/md5.h"
#include "engine/format/volume_reader.h"
#include "engine/set/create_rules.h"
#include "gf_reference.h"
#include "set_fixture.h"
#include "support/faulty_env.h"

namespace tarvel {
namespace {

using testing::Bytes;
using testing::FaultyEnv;
using testing::RandomBytes;
using testing::RefParity;
using testing::SetScenario;
using testing::TextBytes;

void Put64(Bytes& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutDigest(Bytes& out, const md5digest& d) { out.insert(out.end(), d.begin(), d.end()); }

// Bytes 32.. of a volume of a set whose files are all in parity, written out
// by hand from the layout.
Bytes VolumeTail(const std::vector<std::pair<std::string, Bytes>>& files, int number,
                 const Bytes& parityData) {
  Bytes hashes, list;
  for (const auto& [name, content] : files) {
    const md5digest whole = md5buffer(content);
    PutDigest(hashes, whole);
    Put64(list, 56 + 2 * name.size());
    Put64(list, 1);
    Put64(list, content.size());
    PutDigest(list, whole);
    PutDigest(list, md5buffer(content.data(), std::min<std::size_t>(content.size(), 16384)));
    for (char c : name) {
      list.push_back(static_cast<std::uint8_t>(c));
      list.push_back(0);
    }
  }
  Bytes tail;
  PutDigest(tail, md5buffer(hashes));
  Put64(tail, number);
  Put64(tail, files.size());
  Put64(tail, 96);
  Put64(tail, list.size());
  Put64(tail, 96 + list.size());
  Put64(tail, parityData.size());
  tail.insert(tail.end(), list.begin(), list.end());
  tail.insert(tail.end(), parityData.begin(), parityData.end());
  return tail;
}

Bytes Volume(const Bytes& tail) {
  Bytes v = {'P', 'A', 'R', 0, 0, 0, 0, 0, 0, 0, 1, 0, 5, 2, 0, 1};
  PutDigest(v, md5buffer(tail));
  v.insert(v.end(), tail.begin(), tail.end());
  return v;
}

TEST(CreateTest, TwoSmallFilesGiveExactVolumes) {
  SetScenario s;
  s.Write("a.bin", TextBytes("abc"));
  s.Write("b.bin", TextBytes("xy"));
  s.Write("set.P02", Bytes(5000, 7));  // an old file of a volume's name is replaced
  ASSERT_TRUE(s.Create({"b.bin", "a.bin"}, 2));

  const std::vector<std::pair<std::string, Bytes>> files = {{"a.bin", TextBytes("abc")},
                                                            {"b.bin", TextBytes("xy")}};
  const Bytes main = s.Read("set.PAR"), p1 = s.Read("set.P01"), p2 = s.Read("set.P02");
  EXPECT_EQ(main.size(), 228u);
  EXPECT_EQ(p1.size(), 231u);
  EXPECT_EQ(p2.size(), 231u);
  EXPECT_EQ(main, Volume(VolumeTail(files, 0, {})));
  EXPECT_EQ(p1, Volume(VolumeTail(files, 1, {25, 27, 99})));
  EXPECT_EQ(p2, Volume(VolumeTail(files, 2, {145, 144, 99})));
  for (const char* name : {"set.PAR", "set.P01", "set.P02"}) {
    // The control digest covers everything from byte 32 on.
    const Bytes volume = s.Read(name);
    EXPECT_TRUE(md5equal(md5buffer(volume.data() + 32, volume.size() - 32),
                         *reinterpret_cast<const md5digest*>(volume.data() + 16)));
  }

  // What Parity Properties was shown.
  const SetProposal& p = s.ui.lastProposal;
  EXPECT_EQ(p.fileCount, 2);
  EXPECT_EQ(p.totalSize, 5);
  EXPECT_EQ(p.biggestFileSize, 3);
  EXPECT_EQ(ReadVolumeHeader(Env::Default(), s.Path("set.PAR"))->dataOffset, 228u);

  const std::vector<std::string> texts = {"Analyzing a.bin",
                                          "Analyzing b.bin",
                                          "Writing headers...",
                                          "Writing parity data...",
                                          "Creating checksum for " + s.Path("set.PAR"),
                                          "Creating checksum for " + s.Path("set.P01"),
                                          "Creating checksum for " + s.Path("set.P02")};
  EXPECT_EQ(s.ui.progressTexts, texts);
  EXPECT_EQ(s.ui.percents, (std::vector<int>{0, 100, 0, 50, 100, 0, 0, 50, 100}));
  EXPECT_FALSE(s.ui.progressVisible);
  EXPECT_TRUE(s.ui.messages.empty());
}

// Sizes around the chunk: the parity covers every file padded with zeros to
// the largest, across passes, with the GF(2^8) coefficients of each volume.
TEST(CreateTest, ParitySpansChunksAndPadsShorterFiles) {
  struct Case {
    std::vector<std::size_t> sizes;
    int parityCount;
  };
  for (const Case& c : {Case{{50000, 120000}, 1}, Case{{50001, 7, 49999}, 2},
                        Case{{50000, 50000}, 2}, Case{{1, 100000, 3}, 3}}) {
    SCOPED_TRACE(::testing::PrintToString(c.sizes));
    SetScenario s;
    std::vector<std::string> names;
    std::vector<Bytes> contents;
    for (std::size_t k = 0; k < c.sizes.size(); ++k) {
      names.push_back("f0.dat");  // f0.dat, f1.dat, ... (fewer than ten files)
      names.back()[1] = static_cast<char>('0' + k);
      contents.push_back(RandomBytes(c.sizes[k], static_cast<std::uint32_t>(k + 11)));
      s.Write(names.back(), contents.back());
    }
    ASSERT_TRUE(s.Create(names, c.parityCount));
    const auto dataOffset =
        static_cast<std::int64_t>(ReadVolumeHeader(Env::Default(), s.Path("set.PAR"))->dataOffset);
    const std::size_t longest = *std::max_element(c.sizes.begin(), c.sizes.end());
    EXPECT_EQ(s.Read("set.PAR").size(), static_cast<std::size_t>(dataOffset));
    for (int v = 1; v <= c.parityCount; ++v) {
      const Bytes volume = s.Read(VolumeFileName("set", v));
      ASSERT_EQ(volume.size(), dataOffset + longest);
      EXPECT_EQ(Bytes(volume.begin() + dataOffset, volume.end()), RefParity(contents, v));
    }
    SetModel check;
    EXPECT_EQ(ReadVolume(check, Env::Default(), s.Path(VolumeFileName("set", 1))).problem,
              VolumeProblem::kNone);
  }
}

TEST(CreateTest, SmallFileRuleOffersDescriptionFilesOnly) {
  SetScenario s;
  s.Write("notes.txt", Bytes(65534, 'n'));
  s.Write("big.txt", Bytes(65535, 'b'));
  s.Write("Readme.Nfo", Bytes(10, 'r'));
  s.Write("list.txt.bak", Bytes(20, 'l'));
  s.Write("file.MD5SUM", Bytes(30, 'm'));
  s.Write("noext", Bytes(40, 'x'));
  s.ui.includeAnswers = {false, true};  // Readme.Nfo to the CRC list, notes.txt into parity
  ASSERT_TRUE(
      s.Analyse({"Readme.Nfo", "big.txt", "file.MD5SUM", "list.txt.bak", "noext", "notes.txt"}));
  EXPECT_EQ(s.ui.includePrompts, (std::vector<std::string>{"Readme.Nfo 10", "notes.txt 65534"}));
  const SetModel& m = s.model;
  std::vector<std::uint64_t> status;
  for (int i = 0; i < m.FileCount; ++i) status.push_back(m.FileTable[i].status);
  EXPECT_EQ(status, (std::vector<std::uint64_t>{0, 1, 1, 1, 1, 1}));
  EXPECT_EQ(m.TotalSize, 65535 + 30 + 20 + 40 + 65534);
  EXPECT_EQ(m.BiggestFileSize, 65535);
}

TEST(CreateTest, DigestOnlyFileIsListedButNotInParity) {
  SetScenario s;
  const Bytes a = RandomBytes(100, 1), b = RandomBytes(1000, 2), c = RandomBytes(200, 3);
  s.Write("A.bin", a);
  s.Write("B.txt", b);
  s.Write("C.bin", c);
  s.ui.includeAnswers = {false};
  ASSERT_TRUE(s.Create({"A.bin", "B.txt", "C.bin"}, 1));

  EXPECT_EQ(s.ui.lastProposal.totalSize, 300);
  EXPECT_EQ(s.ui.lastProposal.biggestFileSize, 200);
  Bytes hashes;
  for (const Bytes* f : {&a, &c}) {
    const md5digest d = md5buffer(*f);
    hashes.insert(hashes.end(), d.begin(), d.end());
  }
  EXPECT_EQ(ReadVolumeHeader(Env::Default(), s.Path("set.PAR"))->setHash, md5buffer(hashes));

  // Every volume lists A, B, C; B with status 0.
  SetModel read;
  ASSERT_EQ(ReadVolume(read, Env::Default(), s.Path("set.P01")).problem, VolumeProblem::kNone);
  ASSERT_EQ(read.FileCount, 3);
  EXPECT_EQ(read.FileTable[1].name, "B.txt");
  EXPECT_EQ(read.FileTable[1].status, 0u);
  const Bytes p1 = s.Read("set.P01");
  EXPECT_EQ(Bytes(p1.end() - 200, p1.end()), RefParity({a, c}, 1));
}

TEST(CreateTest, EmptyFilesAndSetsWithoutParityAreRefused) {
  {
    SetScenario s;
    s.Write("a.bin", Bytes(10, 1));
    s.Write("b.bin", {});
    s.Write("c.bin", Bytes(10, 2));
    EXPECT_FALSE(s.Analyse({"a.bin", "b.bin", "c.bin"}));
    EXPECT_EQ(s.ui.messages, std::vector<std::string>{"Error reading " + s.Path("b.bin") +
                                                      ", or filesize is zero."});
    EXPECT_EQ(s.ui.progressTexts.size(), 3u);
    EXPECT_EQ(s.model.FileTable[2].filesize, 10);
    EXPECT_EQ(s.model.FileTable[1].present, 0);
  }
  {
    // An empty description file gets its message and is still offered.
    SetScenario s;
    s.Write("a.bin", Bytes(10, 1));
    s.Write("empty.txt", {});
    EXPECT_FALSE(s.Analyse({"a.bin", "empty.txt"}));
    EXPECT_EQ(s.ui.messages.size(), 1u);
    EXPECT_EQ(s.ui.includePrompts, std::vector<std::string>{"empty.txt 0"});
  }
  {
    // Every file answered "Only include in CRC": nothing to protect, nothing written.
    SetScenario s;
    s.Write("a.txt", Bytes(10, 1));
    s.Write("b.nfo", Bytes(10, 2));
    EXPECT_FALSE(s.Create({"a.txt", "b.nfo"}, 1));
    ASSERT_EQ(s.ui.messages.size(), 2u);
    EXPECT_NE(s.ui.messages[0].find("No file is included in the parity data"), std::string::npos);
    EXPECT_EQ(s.ui.messages[1], "Operation aborted!");
    EXPECT_EQ(testing::Snapshot(s.dir.path()).size(), 2u);
  }
  {
    // A base name whose volumes would replace a file of the set (here the
    // digest-only notes.P01 and the file in parity a.PAR): nothing is written.
    for (const char* base : {"notes", "a"}) {
      SetScenario s;
      s.Write("a.PAR", Bytes(10, 1));
      s.Write("notes.P01", Bytes(10, 2));
      s.Write("z.bin", Bytes(10, 3));
      ASSERT_TRUE(s.Analyse({"a.PAR", "notes.P01", "z.bin"}));
      EXPECT_FALSE(s.WriteAnalysed(base, 1)) << base;
      ASSERT_EQ(s.ui.messages.size(), 1u);
      EXPECT_NE(s.ui.messages[0].find("would replace a file of the set"), std::string::npos);
      EXPECT_EQ(s.Read("a.PAR"), Bytes(10, 1));
      EXPECT_EQ(s.Read("notes.P01"), Bytes(10, 2));
      EXPECT_EQ(testing::Snapshot(s.dir.path()).size(), 3u);
    }
  }
  {
    SetScenario s;
    EXPECT_FALSE(s.Analyse({}));
    EXPECT_EQ(s.ui.messages, std::vector<std::string>{"Only 2 - 250 files are supported."});
  }
}

// The create of a front end whose answers stand (each file read once, the
// lists written behind the parity, the volumes read back for their control
// digests) writes, shows and asks exactly what the create with an analysis
// first does, whatever the shape of the set.
TEST(CreateTest, OnePassCreateIsTheCreateWithAnAnalysisFirst) {
  struct Shape {
    const char* name;
    std::vector<std::pair<std::string, std::size_t>> files;
    int parityCount;
  };
  std::vector<Shape> shapes = {
      {"two files", {{"a.bin", 3}, {"b.bin", 2}}, 2},
      {"a file in CRC only", {{"a.bin", 70000}, {"notes.txt", 300}, {"z.bin", 10}}, 1},
      {"sizes around the head and the chunk",
       {{"1", 1},
        {"2", 16383},
        {"3", 16384},
        {"4", 16385},
        {"5", 50000},
        {"6", 50001},
        {"7", 3 * 50000 + 7}},
       3},
      {"an empty file", {{"a.bin", 0}, {"b.bin", 10}}, 1},
      {"250 files", {}, 5},
  };
  for (int k = 0; k < 250; ++k) {
    // Appended, not "f" + ...: GCC 12 warns falsely (-Wrestrict) of that here.
    shapes.back().files.push_back(
        {std::string("f").append(std::to_string(1000 + k)), 1 + (k * 7919) % 4000});
  }
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    std::map<std::string, Bytes> folders[2];
    testing::ScriptedInteraction shown[2];
    for (int onePass = 0; onePass < 2; ++onePass) {
      SetScenario s;
      std::vector<std::string> paths;
      std::uint32_t seed = 1;
      for (const auto& [name, size] : shape.files) {
        s.Write(name, RandomBytes(size, seed++));
        paths.push_back(s.Path(name));
      }
      s.ui.setChoices = {{true, shape.parityCount, {}}};
      s.engine.Create(paths, {.onePass = onePass == 1});
      folders[onePass] = testing::Snapshot(s.dir.path());
      shown[onePass] = s.ui;
      for (std::string& text : shown[onePass].messages) {  // each run has its own folder
        if (const std::size_t at = text.find(s.dir.path()); at != std::string::npos) {
          text.replace(at, s.dir.path().size(), "DIR");
        }
      }
    }
    EXPECT_EQ(folders[0], folders[1]);
    EXPECT_EQ(shown[0].messages, shown[1].messages);
    EXPECT_EQ(shown[0].successes, shown[1].successes);
    EXPECT_EQ(shown[0].includePrompts, shown[1].includePrompts);
    EXPECT_EQ(shown[0].proposals, shown[1].proposals);
    EXPECT_EQ(shown[1].successes.size(), shape.files[0].second == 0 ? 0u : 1u);
  }
}

// Re-creating a set over an existing one: whatever fails before every new
// volume is complete (a short write on a full disk, a file that shrank, a
// volume that cannot be created, the first rename) leaves the previous set
// exactly as it was, and no temporary file behind.
TEST(CreateTest, FailuresLeaveThePreviousSetAsItWas) {
  const Bytes a = RandomBytes(120000, 5), b = RandomBytes(1000, 6);
  struct Case {
    const char* what;
    FaultyEnv::Op op;
    int k;
    bool shortWrite;
  };
  const Case cases[] = {{"short write", FaultyEnv::kWrite, 4, true},
                        {"shrunk file", FaultyEnv::kOpCount, 0, false},
                        {"second volume not created", FaultyEnv::kCreate, 2, false},
                        {"first rename", FaultyEnv::kRename, 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FaultyEnv env(Env::Default());
    SetScenario s(env);
    s.Write("a.bin", a);
    s.Write("b.bin", b);
    ASSERT_TRUE(s.Create({"a.bin", "b.bin"}, 2));
    Bytes changed = a;
    changed[70000] ^= 1;
    s.Write("a.bin", changed);
    ASSERT_TRUE(s.Analyse({"a.bin", "b.bin"}));
    if (c.op == FaultyEnv::kOpCount) {
      std::filesystem::resize_file(s.Path("a.bin"), 60000);
    } else if (c.shortWrite) {
      env.ShortWrite(c.k, ".tarvel-");
    } else {
      env.Fail(c.op, c.k);
    }
    const auto before = testing::Snapshot(s.dir.path());
    try {
      (void)s.WriteAnalysed("set", 2);
      FAIL() << "no error";
    } catch (const FileError& e) {
      if (c.op == FaultyEnv::kOpCount) {
        EXPECT_NE(std::string(e.what()).find(s.Path("a.bin")), std::string::npos);
      } else {
        EXPECT_NE(std::string(e.what()).find(s.Path("set.P")), std::string::npos) << e.what();
      }
    }
    EXPECT_EQ(testing::Snapshot(s.dir.path()), before);
  }
}

// The volumes may not replace a file of the set however its path is spelled:
// through a linked folder, or under a link named like a volume.
TEST(CreateTest, VolumesNeverReplaceAFileOfTheSetReachedAnotherWay) {
  SetScenario s;
  s.Write("a.PAR", Bytes(10, 1));
  s.Write("z.bin", Bytes(10, 3));
  std::filesystem::create_directory_symlink(s.dir.path(), s.Path("linked"));
  std::filesystem::create_symlink("z.bin", s.Path("other.P01"));
  ASSERT_TRUE(s.Analyse({"a.PAR", "z.bin"}));
  const auto before = testing::Snapshot(s.dir.path());
  for (const char* base : {"linked/a", "linked/./a", "other"}) {
    SCOPED_TRACE(base);
    s.ui.messages.clear();
    EXPECT_FALSE(s.WriteAnalysed(base, 1));
    ASSERT_EQ(s.ui.messages.size(), 1u);
    EXPECT_NE(s.ui.messages[0].find("would replace a file of the set"), std::string::npos);
    EXPECT_EQ(testing::Snapshot(s.dir.path()), before);
  }
}

// A volume name that another program takes after the create planned it
// (while the parity pass reads the first file, or just before the second
// volume takes its name) is never replaced: the create fails with a message
// naming it, gives back the names it claimed only while they are still its
// own, and leaves nothing of its own.  What the person agreed to replace
// (an earlier set's volumes) is as it was.
TEST(CreateTest, ANameTakenMeanwhileIsNeverReplaced) {
  struct Case {
    const char* what;
    bool earlierSet;  // set.PAR and set.P01 exist, and replacing them is agreed
    FaultyEnv::Op op;
    int k;
    const char* taken;
    bool mainReplaced;  // the other program replaces the set.PAR this create put in place
  };
  const Case cases[] = {
      {"a new set", false, FaultyEnv::kRead, 1, "set.P01", false},
      {"over an earlier set", true, FaultyEnv::kRead, 1, "set.P02", false},
      {"a claimed name taken over", false, FaultyEnv::kRename, 2, "set.P01", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FaultyEnv env(Env::Default());
    SetScenario s(env);
    s.Write("a.bin", RandomBytes(70000, 7));
    s.Write("b.bin", RandomBytes(900, 8));
    if (c.earlierSet) {
      ASSERT_TRUE(s.Create({"a.bin", "b.bin"}, 1));
    }
    s.Write("b.bin", RandomBytes(900, 9));
    auto expected = testing::Snapshot(s.dir.path());
    const Bytes theirs = TextBytes("another program's file");
    expected[c.taken] = theirs;
    if (c.mainReplaced) expected["set.PAR"] = theirs;
    env.Before(c.op, c.k, c.op == FaultyEnv::kRead ? "a.bin" : "", [&] {
      if (c.mainReplaced) {
        s.Write("their.tmp", theirs);
        std::filesystem::rename(s.Path("their.tmp"), s.Path("set.PAR"));
      }
      s.Write(c.taken, theirs);
    });
    s.ui = {};
    s.ui.setChoices = {{true, 2, s.Path("set")}};
    EXPECT_EQ(s.engine.Create({s.Path("a.bin"), s.Path("b.bin")}, {.onePass = true}),
              CreateOutcome::kRefused);
    EXPECT_EQ(s.ui.messages, (std::vector<std::string>{CreatedMeanwhileText(s.Path(c.taken)),
                                                       "Operation aborted!"}));
    EXPECT_EQ(testing::Snapshot(s.dir.path()), expected);
  }
}

// A name with a control character or a backslash cannot be listed: the file
// is refused before anything is read, with a message that shows the name
// without the control character.
// Creating with two parity volumes over a set of three: the question counts
// every volume a yes replaces, and set.P03 goes with the old set when it is
// one of its volumes by content, never when it merely has such a name.  No
// goes back to Parity Properties with the choices kept.
TEST(CreateTest, ReplacingASetRemovesItsVolumesBeyondTheNewOnes) {
  struct Case {
    const char* what;
    // Makes set.P03 (the old set's volume 3 is there before) what the case needs.
    std::function<void(SetScenario&)> arrange;
    const char* question;
    bool p03Goes;
    std::vector<std::string> messages;
  };
  const std::string left = ", beyond the new set's last volume, was left as it was.";
  const Case cases[] = {
      {"a volume of the set replaced",
       [](SetScenario&) {},
       "set.PAR and 3 other volumes exist. Replace them?",
       true,
       {}},
      {"no volume, only its name",
       [](SetScenario& s) { s.Write("set.P03", RandomBytes(400, 9)); },
       "set.PAR and 2 other volumes exist. Replace them?",
       false,
       {"set.P03" + left}},
      {"a volume of another set",
       [](SetScenario& s) {
         s.Write("x.bin", RandomBytes(300, 7));
         ASSERT_TRUE(s.Create({"a.bin", "x.bin"}, 1, "other"));
         std::filesystem::rename(s.Path("other.P01"), s.Path("set.P03"));
       },
       "set.PAR and 2 other volumes exist. Replace them?",
       false,
       {"set.P03" + left}},
      {"a link to a volume of the set replaced",
       [](SetScenario& s) {
         std::filesystem::rename(s.Path("set.P03"), s.Path("kept.P03"));
         std::filesystem::create_symlink("kept.P03", s.Path("set.P03"));
       },
       "set.PAR and 2 other volumes exist. Replace them?",
       false,
       {"set.P03" + left}},
  };
  for (const Case& c : cases) {
    for (const bool yes : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (yes ? ", yes" : ", no"));
      SetScenario s;
      s.Write("a.bin", RandomBytes(5000, 1));
      s.Write("b.bin", RandomBytes(7000, 2));
      ASSERT_TRUE(s.Create({"a.bin", "b.bin"}, 3));
      c.arrange(s);
      s.Write("b.bin", RandomBytes(7000, 3));
      const auto before = testing::Snapshot(s.dir.path());
      s.ui = {};
      s.ui.confirmAnswers = {yes};
      s.ui.setChoices = {SetChoice{true, 2, s.Path("set")}, SetChoice{false, 1, {}}};
      const CreateOutcome outcome = s.engine.Create({s.Path("a.bin"), s.Path("b.bin")});
      EXPECT_EQ(s.ui.questions, std::vector<std::string>{c.question});
      if (!yes) {
        EXPECT_EQ(outcome, CreateOutcome::kCancelled);
        EXPECT_EQ(s.ui.proposals, 2);
        EXPECT_EQ(s.ui.lastProposal.defaultVolumes, 2);
        EXPECT_EQ(s.ui.lastProposal.defaultBaseName, s.Path("set"));
        EXPECT_EQ(testing::Snapshot(s.dir.path()), before);
        continue;
      }
      EXPECT_EQ(outcome, CreateOutcome::kCreated);
      EXPECT_EQ(s.ui.proposals, 1);
      EXPECT_EQ(s.ui.messages, c.messages);
      EXPECT_EQ(s.Has("set.P03"), !c.p03Goes);
      if (!c.p03Goes) {
        EXPECT_EQ(s.Read("set.P03"), before.at("set.P03"));
      }
      EXPECT_TRUE(s.Has("set.P02"));
    }
  }
}

TEST(CreateTest, NamesAFileListCannotHoldAreRefused) {
  const std::vector<std::string> names = {"bell\a.bin", "esc\x1b[2J.bin", "back\\slash.bin"};
  for (const std::string& name : names) {
    SetScenario s;
    s.Write("a.bin", Bytes(10, 1));
    s.Write(name, Bytes(10, 2));
    EXPECT_FALSE(s.Analyse({"a.bin", name}));
    ASSERT_EQ(s.ui.messages.size(), 1u);
    const std::string& text = s.ui.messages[0];
    EXPECT_NE(text.find("cannot be protected"), std::string::npos);
    EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char ch) { return ch > 0 && ch < 0x20; }))
        << text;
    EXPECT_TRUE(s.ui.progressTexts.empty());
  }
}

}  // namespace
}  // namespace tarvel
