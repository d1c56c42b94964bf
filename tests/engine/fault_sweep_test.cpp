// SPDX-License-Identifier: GPL-3.0-or-later
// Every call of the file layer failed in turn, a stop requested at every
// chunk of every pass, and an unreadable sector in every file.  Each action
// (creating over an existing set, a check that renames or copies a file
// found by content, a repair at once or file by file) is run once cleanly to count its opens,
// creates, writes, reads and renames; then once for each of those calls
// failing (the first, the second, ... the n-th), once for each write stored
// only in part, and once for each file of the folder with a sector that
// cannot be read at its start, in its middle and at its end.  After every
// run:
//   - the failure was told (a FileError, a message, or a report that is not
//     "All files OK."), or else the action's claim of success is true;
//   - every file of the folder is as it was, or holds what it should hold
//     after the action (a set file's original content under its own name, a
//     volume of the new set), and nothing that was there is lost;
//   - files that an action puts in place together (the volumes of a set,
//     the files of one rebuild) are all new or all as they were, unless a
//     read kept one of them out of the rebuild (a file that cannot be
//     opened is never replaced);
//   - no temporary file is left, and no error names one;
//   - the same action, run again without faults, succeeds.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
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
using testing::Snapshot;
using Folder = std::map<std::string, Bytes>;

const char* const kOpNames[] = {"open",   "create", "write", "read",
                                "rename", "link",   "sync",  "list"};
static_assert(std::size(kOpNames) == FaultyEnv::kOpCount);

// The set's files as they were when it was created.  a.bin spans two parity
// chunks, c.bin is longer than the 16 KiB head, notes.txt is digest-only.
Folder Originals() {
  return {{"a.bin", RandomBytes(70000, 1)},
          {"b.bin", RandomBytes(3000, 2)},
          {"c.bin", RandomBytes(20000, 3)},
          {"notes.txt", RandomBytes(100, 4)}};
}

// What one run of an action came to.
struct Outcome {
  bool failureTold = false;  // FileError, a message, or a report that is not all OK
  std::string error;
};

struct SweptAction {
  const char* name;
  // Fills the (empty) folder for a run, without faults.
  std::function<void(SetScenario&)> prepare;
  // The action itself: true when it claims success.
  std::function<bool(SetScenario&)> run;
  // The files the action is about and what each must hold after it
  // succeeds; a file of the folder may hold this or what it held before.
  Folder should;
  // Files that change together: after any run all of them are as they were,
  // or all of them are as they should be (a set is never half replaced).
  std::vector<std::string> together = {};
  // Files the action removes when it succeeds (in `together` when they go
  // with the others; absent from `should`).
  std::vector<std::string> gone = {};
  // The folder of the scenario's folder that the action is about ("": that
  // folder itself), whose files are looked at.
  std::string folder = {};
  // The kinds of fault swept (FaultyEnv::Op, then a short write, a stop, a
  // bad sector); none: every kind.  An action over hundreds of files sweeps
  // those of its commit.
  std::vector<int> kinds = {};
};

bool AllOk(const std::vector<std::string>& report) {
  return std::find(report.begin(), report.end(), "All files OK.") != report.end();
}

void Empty(const std::string& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::filesystem::remove_all(entry.path());
  }
}

void WriteSet(SetScenario& s, const Folder& files, int parityCount = 2) {
  for (const auto& [name, bytes] : files) s.Write(name, bytes);
  ASSERT_TRUE(s.Create({"a.bin", "b.bin", "c.bin", "notes.txt"}, parityCount));
}

bool Gone(const SweptAction& action, const std::string& name) {
  return std::find(action.gone.begin(), action.gone.end(), name) != action.gone.end();
}

// Runs the action, catching the failure it ends with.
Outcome Attempt(const SweptAction& action, SetScenario& s) {
  s.ui = {};
  Outcome o;
  try {
    o.failureTold = !action.run(s);
  } catch (const FileError& e) {
    o.failureTold = true;
    o.error = e.what();
  } catch (const ActionStopped&) {
    o.failureTold = true;
    o.error = "stopped";
  }
  if (!s.ui.messages.empty()) o.failureTold = true;
  return o;
}

// Checks the folder after a run against the one before it; `together`:
// whether the files that change together must be all new or all old.
void ExpectNothingLost(const SweptAction& action, const Folder& before, const Folder& after,
                       bool together = true) {
  for (const auto& [name, bytes] : after) {
    EXPECT_FALSE(name.starts_with(".tarvel-")) << "temporary file left: " << name;
    const auto was = before.find(name);
    if (was != before.end() && was->second == bytes) continue;
    const auto should = action.should.find(name);
    EXPECT_TRUE(should != action.should.end() && should->second == bytes)
        << name << " is neither as it was nor as it should be";
  }
  for (const auto& [name, bytes] : before) {
    if (after.count(name) || Gone(action, name)) continue;
    const bool kept = std::any_of(after.begin(), after.end(),
                                  [&](const auto& file) { return file.second == bytes; });
    EXPECT_TRUE(kept) << name << " is gone and its content with it";
  }
  if (action.together.empty() || !together) return;
  const auto all = [&](const Folder& state) {
    return std::all_of(action.together.begin(), action.together.end(), [&](const std::string& n) {
      const auto was = state.find(n);
      const auto is = after.find(n);
      return (was == state.end()) == (is == after.end()) &&
             (is == after.end() || was->second == is->second);
    });
  };
  EXPECT_TRUE(all(before) || all(action.should)) << "the files that change together are mixed";
}

// Every file the action is about holds what it should.
void ExpectAsItShouldBe(const SweptAction& action, const Folder& folder, const char* when) {
  for (const auto& [name, bytes] : action.should) {
    const auto it = folder.find(name);
    EXPECT_TRUE(it != folder.end() && it->second == bytes) << name << " " << when;
  }
  for (const std::string& name : action.gone) {
    EXPECT_EQ(folder.count(name), 0u) << name << " is still there " << when;
  }
}

// Runs `action` cleanly, then with every fault, and returns the number of
// faulty runs.
int Sweep(const SweptAction& action) {
  FaultyEnv env(Env::Default());
  env.SkipSync();  // durability is not what these runs look at, and flushing is slow
  SetScenario s(env);
  int absorbed = 0;

  // The clean run, which counts the calls.
  action.prepare(s);
  int calls[FaultyEnv::kOpCount];
  for (int op = 0; op < FaultyEnv::kOpCount; ++op) calls[op] = env.Calls(FaultyEnv::Op(op));
  EXPECT_TRUE(action.run(s)) << action.name << " fails without faults";
  for (int op = 0; op < FaultyEnv::kOpCount; ++op) {
    calls[op] = env.Calls(FaultyEnv::Op(op)) - calls[op];
  }

  int runs = 0;
  // Beyond the calls of the file layer: a write stored only in part, a stop
  // requested just before a read (every chunk of every pass reads), and a
  // sector that cannot be read, at the start, the middle and the end of
  // each file of the folder (a file a run of the first kinds may touch).
  const int kShortWrite = FaultyEnv::kOpCount, kStop = FaultyEnv::kOpCount + 1,
            kBadSector = FaultyEnv::kOpCount + 2;
  std::vector<std::pair<std::string, std::int64_t>> sectors;
  const std::string here = action.folder.empty() ? s.dir.path() : s.Path(action.folder);
  for (const auto& [name, bytes] : Snapshot(here)) {
    for (const std::size_t at : {std::size_t{0}, bytes.size() / 2, bytes.size() - 1}) {
      sectors.emplace_back(name, static_cast<std::int64_t>(at));
    }
  }
  int stops = 0;
  for (int op = 0; op <= kBadSector; ++op) {
    if (!action.kinds.empty() &&
        std::find(action.kinds.begin(), action.kinds.end(), op) == action.kinds.end()) {
      continue;
    }
    const int n = op == kBadSector ? static_cast<int>(sectors.size())
                                   : calls[op == kShortWrite ? FaultyEnv::kWrite
                                           : op == kStop     ? FaultyEnv::kRead
                                                             : op];
    const char* what = op == kShortWrite  ? "short write"
                       : op == kStop      ? "stop before read"
                       : op == kBadSector ? "bad sector"
                                          : kOpNames[op];
    for (int k = 1; k <= n; ++k) {
      SCOPED_TRACE(std::string(action.name) + ": " + what + " " + std::to_string(k) + " of " +
                   std::to_string(n) +
                   (op == kBadSector ? " in " + sectors[k - 1].first + " at " +
                                           std::to_string(sectors[k - 1].second)
                                     : std::string()));
      Empty(s.dir.path());
      env.Clear();
      action.prepare(s);
      const Folder before = Snapshot(here);
      bool stopped = false;
      if (op == kShortWrite) {
        env.ShortWrite(k);
      } else if (op == kStop) {
        env.BeforeRead(k, "", [&] {
          stopped = true;
          s.engine.RequestStop();
        });
      } else if (op == kBadSector) {
        const auto& [name, at] = sectors[k - 1];
        if (before.count(name) == 0) continue;  // not made by this preparation
        env.BadRegion(JoinPath(here, name), at, at + 1);
      } else {
        env.Fail(FaultyEnv::Op(op), k);
      }
      const Outcome o = Attempt(action, s);
      EXPECT_EQ(o.error.find(".tarvel-"), std::string::npos)
          << "the error names a temporary file, not the user's: " << o.error;
      const bool fired = env.Fired() > 0 || stopped;
      stops += stopped;
      s.engine.ClearStop();
      env.Clear();
      ++runs;

      const Folder after = Snapshot(here);
      // A file that cannot be opened or read is left out of a rebuild.
      ExpectNothingLost(action, before, after,
                        op != FaultyEnv::kOpen && op != FaultyEnv::kRead && op != kBadSector);
      if (!o.failureTold) {
        // A success claimed despite the fault must be true.
        ExpectAsItShouldBe(action, after, "after a claimed success");
        EXPECT_TRUE(fired || op == kBadSector) << "the fault never fired";
        ++absorbed;
      }

      // The next action works.
      EXPECT_TRUE(action.run(s)) << "the action fails after the fault: " << o.error;
      ExpectAsItShouldBe(action, Snapshot(here), "after the next action");
    }
  }
  std::string counts;
  for (int op = 0; op < FaultyEnv::kOpCount; ++op) {
    counts += std::to_string(calls[op]) + " " + kOpNames[op] + ", ";
  }
  std::printf(
      "[ sweep    ] %s: %d runs (%s%d short write, %d stops, %zu bad sectors); %d ended in a "
      "true success despite the fault\n",
      action.name, runs, counts.c_str(), calls[FaultyEnv::kWrite], stops, sectors.size(), absorbed);
  return runs;
}

enum class Kind {
  kCreate,
  kCreateOnePass,
  kCreateOverMoreVolumes,
  kCheckRename,
  kCheckCopy,
  kRepair,
  kRepairFileByFile,
  kProtect,
  kProtectTwoSets
};

// A protect of the folder t: true when it protected, renewed or found up to
// date every folder.
bool ProtectT(SetScenario& s, int percent = 0) {
  bool ok = true;
  s.engine.Protect(s.Path("t"), {.percent = percent}, [&ok](const FolderResult& r) {
    ok = ok && (r.state == FolderState::kRenewed || r.state == FolderState::kUpToDate ||
                r.state == FolderState::kProtected);
  });
  return ok;
}

// The actions, each swept by a test of its own.
SweptAction MakeAction(Kind kind) {
  const Folder originals = Originals();
  switch (kind) {
    case Kind::kCreate:
    case Kind::kCreateOnePass: {
      // Creating over an existing set of older content: the volumes may
      // become those of the new set, nothing else may change.
      Folder changed = originals;
      changed["a.bin"][123] ^= 1;
      Folder newVolumes;
      SetScenario clean;
      for (const auto& [name, bytes] : changed) clean.Write(name, bytes);
      EXPECT_TRUE(clean.Create({"a.bin", "b.bin", "c.bin", "notes.txt"}, 2));
      for (const char* v : {"set.PAR", "set.P01", "set.P02"}) newVolumes[v] = clean.Read(v);
      // In one pass (the command line's create) the files are read once,
      // by the parity pass, and the volumes are read back.
      const bool onePass = kind == Kind::kCreateOnePass;
      return {onePass ? "create in one pass" : "create",
              [originals, changed](SetScenario& s) {
                WriteSet(s, originals);
                s.Write("a.bin", changed.at("a.bin"));
              },
              [onePass](SetScenario& s) {
                return s.Create({"a.bin", "b.bin", "c.bin", "notes.txt"}, 2, "set", onePass);
              },
              newVolumes,
              {"set.PAR", "set.P01", "set.P02"}};
    }
    case Kind::kCreateOverMoreVolumes: {
      // Creating with two parity volumes over a set of three: set.P03 goes
      // in the same commit that puts the new set in place, and set.P04, no
      // volume at all, stays as it is.
      SweptAction create = MakeAction(Kind::kCreate);
      create.name = "create over a set with more volumes";
      Bytes changed = originals.at("a.bin");
      changed[123] ^= 1;
      create.prepare = [originals, changed](SetScenario& s) {
        WriteSet(s, originals, 3);
        s.Write("set.P04", RandomBytes(500, 5));
        s.Write("a.bin", changed);
      };
      create.together.push_back("set.P03");
      create.gone = {"set.P03"};
      return create;
    }
    case Kind::kProtect: {
      // A protect that renews the set of the folder t, made with two parity
      // volumes, when a file is added: t.PAR and t.P01 become those of the
      // new set and t.P02 goes with the old one, in one commit.
      const auto prepare = [originals](SetScenario& s) {
        std::filesystem::create_directory(s.Path("t"));
        for (const auto& [name, bytes] : originals) s.Write("t/" + name, bytes);
        ASSERT_TRUE(s.Create({"t/a.bin", "t/b.bin", "t/c.bin", "t/notes.txt"}, 2, "t/t"));
        s.Write("t/d.bin", RandomBytes(5000, 6));
      };
      SetScenario clean;
      prepare(clean);
      EXPECT_TRUE(ProtectT(clean));
      Folder should = originals;
      should["d.bin"] = RandomBytes(5000, 6);
      for (const char* v : {"t.PAR", "t.P01"}) should[v] = clean.Read(std::string("t/") + v);
      SweptAction protect{"protect renewing a set",
                          prepare,
                          [](SetScenario& s) { return ProtectT(s); },
                          should,
                          {"t.PAR", "t.P01", "t.P02"}};
      protect.gone = {"t.P02"};
      protect.folder = "t";
      return protect;
    }
    case Kind::kProtectTwoSets: {
      // A protect that renews the two sets of a folder of 251 files, each
      // made with two parity volumes, when a file is added, with one volume
      // each: the four new volumes and the removal of the two old second
      // parity volumes are one commit.
      Folder files;
      for (int i = 0; i < 251; ++i) {
        files[std::string("f").append(std::to_string(1000 + i)).append(".bin")] =
            RandomBytes(100, static_cast<std::uint32_t>(10 + i));
      }
      const auto prepare = [files](SetScenario& s) {
        std::filesystem::create_directory(s.Path("t"));
        for (const auto& [name, bytes] : files) s.Write("t/" + name, bytes);
        ASSERT_TRUE(ProtectT(s, 2));
        s.Write("t/new.bin", RandomBytes(100, 5));
      };
      const auto run = [](SetScenario& s) { return ProtectT(s, 1); };
      SetScenario clean;
      prepare(clean);
      EXPECT_TRUE(run(clean));
      Folder should = files;
      should["new.bin"] = RandomBytes(100, 5);
      std::vector<std::string> together;
      for (const char* v : {"t-1.PAR", "t-1.P01", "t-2.PAR", "t-2.P01"}) {
        should[v] = clean.Read(std::string("t/") + v);
        together.push_back(v);
      }
      SweptAction protect{"protect renewing two sets", prepare, run, should, together};
      protect.together.push_back("t-1.P02");
      protect.together.push_back("t-2.P02");
      protect.gone = {"t-1.P02", "t-2.P02"};
      protect.folder = "t";
      protect.kinds = {
          FaultyEnv::kCreate, FaultyEnv::kWrite, FaultyEnv::kRename, FaultyEnv::kLink,
          FaultyEnv::kSync,   FaultyEnv::kList,  FaultyEnv::kOpCount /* a short write */};
      return protect;
    }
    case Kind::kCheckRename:
    case Kind::kCheckCopy: {
      // A check that finds b.bin as moved.bin and renames or copies it.
      const RenameButton answer =
          kind == Kind::kCheckRename ? RenameButton::kRename : RenameButton::kCopy;
      return {kind == Kind::kCheckRename ? "check with rename" : "check with copy",
              [originals](SetScenario& s) {
                WriteSet(s, originals);
                std::filesystem::rename(s.Path("b.bin"), s.Path("moved.bin"));
              },
              [answer](SetScenario& s) {
                s.ui.renameReplies = {{answer, true}};
                return AllOk(s.Check());
              },
              originals};
    }
    case Kind::kRepair:
    case Kind::kRepairFileByFile: {
      // A repair of a damaged and a missing file from two volumes.  Asked
      // file by file (the windows' Restore prompt, answered Yes to all),
      // each file is put in place on its own: one rebuilt before a failure
      // stays rebuilt, the one being written stays as it was.
      const bool fileByFile = kind == Kind::kRepairFileByFile;
      return {fileByFile ? "repair file by file" : "repair",
              [originals](SetScenario& s) {
                WriteSet(s, originals);
                Bytes damaged = originals.at("a.bin");
                damaged[60000] ^= 0x40;
                s.Corrupt("a.bin", damaged);
                std::filesystem::remove(s.Path("c.bin"));
              },
              [fileByFile](SetScenario& s) {
                s.Check();
                s.ui.restoreReplies = {{RestoreButton::kYes, /*dontAskAgain=*/true}};
                if (s.check.report.badFiles > 0 &&
                    s.engine.Restore(fileByFile) != RestoreOutcome::kRestored) {
                  return false;
                }
                return AllOk(s.Recheck());
              },
              originals,
              fileByFile ? std::vector<std::string>{} : std::vector<std::string>{"a.bin", "c.bin"}};
    }
  }
  return {};
}

class FaultSweep : public ::testing::TestWithParam<Kind> {};

TEST_P(FaultSweep, EveryFileLayerCallFailedInTurn) { EXPECT_GT(Sweep(MakeAction(GetParam())), 0); }

std::string KindName(const ::testing::TestParamInfo<Kind>& info) {
  constexpr const char* kNames[] = {"Create",           "CreateOnePass", "CreateOverMoreVolumes",
                                    "CheckRename",      "CheckCopy",     "Repair",
                                    "RepairFileByFile", "Protect",       "ProtectTwoSets"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Actions, FaultSweep,
                         ::testing::Values(Kind::kCreate, Kind::kCreateOnePass,
                                           Kind::kCreateOverMoreVolumes, Kind::kCheckRename,
                                           Kind::kCheckCopy, Kind::kRepair, Kind::kRepairFileByFile,
                                           Kind::kProtect, Kind::kProtectTwoSets),
                         KindName);

}  // namespace
}  // namespace tarvel
