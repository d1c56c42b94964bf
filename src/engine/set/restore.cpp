// SPDX-License-Identifier: GPL-3.0-or-later
// Restoring the files of a checked set whose data is in parity and whose
// content is missing or wrong, from the good files and the usable parity
// volumes.
//
// Nothing is created or changed before the recovery system is known to be
// solvable.  Each rebuilt file is written to a hidden temporary file of the
// set folder and renamed over its name only when it is complete and has the
// size and digests listed for it, so neither a failure half-way nor a volume
// holding wrong parity changes the damaged file.  The sources are opened
// once per run and read with one large read per row and round (see
// chunk_pass.h); every file rebuilt in a run comes out of the same
// arithmetic over the recovery's coefficients, so any number of files is
// rebuilt in one pass over the sources.
#include "engine/set/restore.h"

#include <algorithm>
#include <array>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "engine/io/replacing_writer.h"
#include "engine/io/stream_digests.h"
#include "engine/io/write_back.h"
#include "engine/set/action.h"
#include "engine/set/chunk_pass.h"
#include "engine/set/set_report.h"
#include "parity/rs.h"
#include "platform/language.h"

namespace tarvel {
namespace {

std::string NotRebuiltText(const std::string& name) {
  const std::string why =
      " could not be rebuilt: the rebuilt data does not have the size and digests listed for "
      "it, as a volume or file it was rebuilt from holds other data than the set was made from. ";
  return name + why + name + " was left as it was.";
}

// Runs a function when the scope ends, on every path.
template <typename F>
class AtScopeEnd {
 public:
  explicit AtScopeEnd(F f) : f_(std::move(f)) {}
  ~AtScopeEnd() { f_(); }
  AtScopeEnd(const AtScopeEnd&) = delete;
  AtScopeEnd& operator=(const AtScopeEnd&) = delete;

 private:
  F f_;
};

// The files behind DataBlock rows 0..N-1 as the recovery plan chose them,
// opened at the first rebuild of a run and closed when the run ends.
class RestoreSources {
 public:
  RestoreSources(Action& action, const RecoveryPlan& plan) : action_(action), plan_(plan) {}

  void Open() {
    if (opened_) return;
    const SetModel& m = action_.model;
    const std::size_t rows = plan_.rows.size();
    files_.resize(rows);
    limits_.resize(rows);
    offsets_.resize(rows);
    for (std::size_t r = 0; r < rows; ++r) {
      const RowSource& source = plan_.rows[r];
      if (source.file > 0) {
        files_[r] =
            action_.env.OpenRead(action_.InSetFolder(m.ParityFileTable[source.file - 1].name));
        limits_[r] = files_[r]->Size();
        offsets_[r] = 0;
      } else {
        const fileentry& volume = m.VolumeTable[source.volume];
        files_[r] = action_.env.OpenRead(action_.InSetFolder(volume.name));
        limits_[r] = m.BiggestFileSize;
        offsets_[r] = volume.dataoffset;  // its own header's, not the list's that was read
      }
    }
    opened_ = true;
  }

  // Fills `into` with the bytes of source r from `pos` on; what lies beyond
  // the source's end reads as zeros.
  void Read(std::size_t r, std::int64_t pos, std::span<std::uint8_t> into) {
    const auto want = static_cast<std::size_t>(
        std::clamp<std::int64_t>(limits_[r] - pos, 0, static_cast<std::int64_t>(into.size())));
    std::size_t got = 0;
    if (want > 0) got = files_[r]->ReadAt(offsets_[r] + pos, into.data(), want);
    std::fill(into.begin() + static_cast<std::ptrdiff_t>(got), into.end(), std::uint8_t{0});
  }

  [[nodiscard]] std::size_t Count() const { return plan_.rows.size(); }

 private:
  Action& action_;
  const RecoveryPlan& plan_;
  bool opened_ = false;
  std::vector<std::unique_ptr<File>> files_;
  std::vector<std::int64_t> limits_;   // bytes of the source that take part
  std::vector<std::int64_t> offsets_;  // where the source's data starts in its file
};

}  // namespace

bool MayReplace(const fileentry& e) {
  return !(e.present &&
           (e.trouble == ReadTrouble::kNotChecked || e.trouble == ReadTrouble::kIsVolume));
}

int RecoveryUnknowns(const SetModel& m) {
  int unknowns = 0;
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    unknowns += e.InParity() && !e.Intact();
  }
  return unknowns;
}

namespace {

// What a restore would come to and, when it would run, the plan of its
// recovery.
struct PreparedRestore {
  RestoreOutcome outcome = RestoreOutcome::kNothingToRestore;
  RecoveryPlan plan;
};

// Compacts, marks the usable parity volumes and solves the recovery system.
PreparedRestore PrepareRestore(Action& action) {
  SetModel& m = action.model;
  ParityMatrix& parity = action.parity;
  // Files that cannot be read, or that hold a volume, are unknowns of the
  // recovery like the bad ones, but never rebuilt.
  int toRebuild = 0;
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    toRebuild += e.InParity() && !e.Intact() && MayReplace(e);
  }
  PreparedRestore prepared;
  if (toRebuild == 0) return prepared;
  prepared.outcome = RestoreOutcome::kNotEnoughVolumes;
  if (RecoveryUnknowns(m) > CountSet(m).usableVolumes) return prepared;

  m.CompactParityFiles();
  const int files = m.ParityFileCount;
  prepared.outcome = RestoreOutcome::kUnsolvable;
  if (files > kMaxRecoverFiles) return prepared;

  parity.SetupParity();
  std::array<bool, kMaxParityVolumes> usable{};
  for (int v = 1; v <= kMaxParityVolumes; ++v) {
    usable[v - 1] = m.VolumeTable[v].present && m.VolumeTable[v].crcok;
  }
  std::array<bool, kMaxRecoverFiles> ok{};
  for (int k = 1; k <= files; ++k) ok[k - 1] = m.ParityFileTable[k - 1].crcok != 0;
  prepared.plan = parity.PrepareRecovery(
      std::span<const bool>(ok).first(static_cast<std::size_t>(files)), usable);
  switch (prepared.plan.result) {
    case RecoveryResult::kOk:
      prepared.outcome = RestoreOutcome::kRestored;
      break;
    case RecoveryResult::kNotEnoughVolumes:
      prepared.outcome = RestoreOutcome::kNotEnoughVolumes;
      break;
    case RecoveryResult::kTooManyFiles:
    case RecoveryResult::kSingular:
      break;
  }
  return prepared;
}

}  // namespace

RestoreOutcome PlanRestore(Action& action) { return PrepareRestore(action).outcome; }

RestoreOutcome PlanRepair(Action& action) {
  SetModel& m = action.model;
  // Count the files found elsewhere as in place, plan, and put the flags back.
  std::vector<std::pair<int, std::pair<std::uint8_t, std::uint8_t>>> saved;
  for (int i = 0; i < m.FileCount; ++i) {
    fileentry& e = m.FileTable[i];
    if (!action.found.FoundElsewhere(i) || e.Intact()) continue;
    saved.push_back({i, {e.present, e.crcok}});
    e.present = e.crcok = 1;
  }
  const RestoreOutcome plan = PrepareRestore(action).outcome;
  for (const auto& [i, flags] : saved) {
    m.FileTable[i].present = flags.first;
    m.FileTable[i].crcok = flags.second;
  }
  m.CompactParityFiles();
  return plan;
}

namespace {

// One run of rebuilding the missing files plan.missing[i] for the given
// indices i in one pass over the sources, each through a temporary file,
// proven and renamed into place together.
class Rebuild {
 public:
  Rebuild(Action& action, const RecoveryPlan& plan, RestoreSources& sources,
          const std::vector<int>& indices)
      : action_(action),
        m_(action.model),
        parity_(action.parity),
        plan_(plan),
        sources_(sources),
        indices_(indices),
        written_(indices.size()) {}

  void Run() {
    if (indices_.empty()) return;
    // Whatever ends the run, the files not committed by then were not rebuilt.
    const AtScopeEnd recordUnfinished([&] {
      if (ended_) return;
      for (std::size_t t = 0; t < indices_.size(); ++t) {
        m_.Actions.push_back({FileActionKind::kNotRebuilt, Entry(t).name, {}});
      }
    });
    Start();
    Pass();
    Commit();
  }

 private:
  const fileentry& Entry(std::size_t t) const {
    return m_.ParityFileTable[plan_.missing[static_cast<std::size_t>(indices_[t])] - 1];
  }
  // Bytes of rebuilt file t among the `length` from `pos` on.
  std::size_t Length(std::size_t t, std::int64_t pos, std::size_t length) const {
    return static_cast<std::size_t>(
        std::clamp<std::int64_t>(Entry(t).filesize - pos, 0, static_cast<std::int64_t>(length)));
  }

  // One record for the whole run (its item is the file when there is one),
  // and a temporary file for each file rebuilt.
  void Start() {
    record_.step = ProgressStep::kRestoring;
    record_.items = static_cast<int>(indices_.size());
    record_.name = Entry(0).name;
    record_.percent = 0;
    for (std::size_t t = 0; t < indices_.size(); ++t) record_.stepTotal += Entry(t).filesize;
    record_.itemTotal = record_.stepTotal;
    action_.ShowProgress(record_);
    for (std::size_t t = 0; t < indices_.size(); ++t) {
      targets_.push_back(std::make_unique<ReplacingWriter>(
          action_.env, action_.InSetFolder(Entry(t).name), /*keepDigests=*/false));
      end_ = std::max(end_, Entry(t).filesize);
    }
    sources_.Open();
  }

  // Only the chunks that hold bytes of a rebuilt file are read, and their
  // digests are taken as they are written.  The percentage is that of the
  // whole parity data, as for every restore; the pass simply ends once the
  // rebuilt files are complete.
  void Pass() {
    ChunkPass pass;
    pass.end = end_;
    // Every chunk, so the windows stay painted however large the files
    // are, and a stop is heard.
    pass.begin = [&](std::int64_t pos) {
      record_.percent = static_cast<int>(pos * 100 / std::max(m_.BiggestFileSize, end_));
      action_.ShowProgress(record_);
    };
    pass.inputs = sources_.Count();
    pass.read = [&](std::size_t r, std::int64_t pos, std::span<std::uint8_t> into) {
      sources_.Read(r, pos, into);
    };
    // Only the rows of the files rebuilt in this run: file t is row
    // indices_[t] of the recovery.
    pass.coefficient = [&](std::size_t t, std::size_t x) {
      return parity_.RecoveryCoefficient(indices_[t], static_cast<int>(x));
    };
    pass.mulTable = parity_.Field().MulTable;
    pass.kernel = parity_.Kernel();
    pass.computed = [&](std::int64_t pos, std::size_t length, std::span<const std::uint8_t* const>,
                        std::span<const std::uint8_t* const> out) {
      for (std::size_t t = 0; t < indices_.size(); ++t) {
        written_.Add(t, out[t], Length(t, pos, length));
        record_.stepDone += static_cast<std::int64_t>(Length(t, pos, length));
      }
      record_.itemDone = record_.stepDone;
    };
    pass.outputs = indices_.size();
    pass.write = [&](std::size_t t, std::int64_t pos, std::span<const std::uint8_t> bytes) {
      const std::span<const std::uint8_t> mine = bytes.first(Length(t, pos, bytes.size()));
      if (mine.empty()) return;  // past the end of this file
      targets_[t]->WriteAt(pos, mine);
      writeBack_.StartAfter(*targets_[t], pos, static_cast<std::int64_t>(mine.size()));
    };
    pass.digests = &written_;
    RunChunkPass(action_, pass);
    action_.ShowProgress(record_);  // every byte written
  }

  // Each rebuilt file is proven before it replaces anything: a volume whose
  // digest is right can still carry wrong parity (one made from other files
  // with the same set digest, or crafted), and its output must never
  // overwrite what the user has.  The proven ones are put in place together.
  void Commit() {
    writeBack_.Finish();
    std::vector<ReplacingWriter*> proven;
    std::vector<FileAction> outcomes;
    for (std::size_t t = 0; t < targets_.size(); ++t) {
      const fileentry& e = Entry(t);
      if (written_.Length(t) == e.filesize && md5equal(written_.Whole(t), e.md5whole) &&
          md5equal(written_.Head(t), e.md5head)) {
        // The content is as old as the set: a rebuilt file keeps the time of
        // the decayed file it replaces, or takes the set's, so that later
        // damage to it is never taken for a person's edit.
        const std::int64_t modified = e.present && e.modifiedNs > 0 && e.modifiedNs <= m_.SetStampNs
                                          ? e.modifiedNs
                                          : m_.SetStampNs;
        if (modified > 0) targets_[t]->SetModifiedTime(modified);
        proven.push_back(targets_[t].get());
        outcomes.push_back({FileActionKind::kRebuilt, e.name, {}});
      } else {
        targets_[t].reset();  // removes the temporary file
        outcomes.push_back({FileActionKind::kNotRebuilt, e.name, {}});
        action_.ui.Message(NotRebuiltText(e.name));
      }
    }
    if (!proven.empty()) CommitTogether(action_.env, proven);
    ended_ = true;
    m_.Actions.insert(m_.Actions.end(), outcomes.begin(), outcomes.end());
  }

  Action& action_;
  SetModel& m_;
  ParityMatrix& parity_;
  const RecoveryPlan& plan_;
  RestoreSources& sources_;
  const std::vector<int>& indices_;
  ProgressRecord record_;
  std::vector<std::unique_ptr<ReplacingWriter>> targets_;
  WriteBack writeBack_;  // of the targets; ends before they go
  StreamDigests written_;
  std::int64_t end_ = 0;
  bool ended_ = false;
};

// The refusals of a restore, each with its message.
void SayWhyNot(Action& action, RestoreOutcome plan) {
  const SetModel& m = action.model;
  switch (plan) {
    case RestoreOutcome::kNothingToRestore:
      action.ui.Message(TR("No files to restore..."));
      return;
    case RestoreOutcome::kNotEnoughVolumes:
      action.ui.Message(
          TrFill("You do not have enough parity volumes. %s parity volumes are needed.",
                 {std::to_string(RecoveryUnknowns(m))}));
      return;
    case RestoreOutcome::kUnsolvable:
      if (m.ParityFileCount > kMaxRecoverFiles) {
        action.ui.Message(
            TrFill("This set has %s files in parity; files can be restored only in "
                   "sets of at most %s. Nothing was changed.",
                   {std::to_string(m.ParityFileCount), std::to_string(kMaxRecoverFiles)}));
      } else {
        action.ui.Message(
            TR("The bad files cannot be rebuilt from the parity volumes found: together they do "
               "not determine the missing data. Other parity volumes of this set are needed. "
               "Nothing was changed."));
      }
      return;
    case RestoreOutcome::kRestored:
      return;
  }
}

RestorePrompt PromptFor(const fileentry& e, const SetModel& m) {
  return RestorePrompt{e.name, e.present == 0, ChangedAfterSet(e, m)};
}

// Every bad file without asking, but one changed after the set was made:
// the newer work is put back only when the front end says so.  One pass.
void RebuildAll(Action& action, const RecoveryPlan& plan, RestoreSources& sources) {
  const SetModel& m = action.model;
  std::vector<int> chosen;
  for (std::size_t i = 0; i < plan.missing.size(); ++i) {
    const fileentry& e = m.ParityFileTable[plan.missing[i] - 1];
    if (!MayReplace(e)) continue;
    if (ChangedAfterSet(e, m) &&
        action.ui.AskRestore(PromptFor(e, m)).button != RestoreButton::kYes) {
      continue;
    }
    chosen.push_back(static_cast<int>(i));
  }
  Rebuild(action, plan, sources, chosen).Run();
}

// The Restore prompt per file, each confirmed file rebuilt in its own pass.
void RebuildAsked(Action& action, const RecoveryPlan& plan, RestoreSources& sources) {
  SetModel& m = action.model;
  const auto rebuildOne = [&](std::size_t i) {
    const std::vector<int> one = {static_cast<int>(i)};
    Rebuild(action, plan, sources, one).Run();
  };
  for (std::size_t i = 0; i < plan.missing.size(); ++i) {
    const fileentry& e = m.ParityFileTable[plan.missing[i] - 1];
    if (!MayReplace(e)) continue;
    if (ChangedAfterSet(e, m)) {
      // A file changed after the set was made is asked about unless the
      // answer for the set is No, and restored only on a Yes for it; what
      // is answered for it holds for the others only when ticked so.
      if (m.RestoreAnswer == StandingRestore::kNoToAll) continue;
      const RestoreReply reply = action.ui.AskRestore(PromptFor(e, m));
      if (reply.dontAskAgain && reply.button != RestoreButton::kClosed) {
        m.RestoreAnswer = reply.button == RestoreButton::kYes ? StandingRestore::kYesToAll
                                                              : StandingRestore::kNoToAll;
      }
      if (reply.button == RestoreButton::kYes) rebuildOne(i);
      continue;
    }
    if (m.RestoreAnswer != StandingRestore::kYesToAll &&
        m.RestoreAnswer != StandingRestore::kNoToAll) {
      const RestoreReply reply = action.ui.AskRestore(PromptFor(e, m));
      // Closing the prompt keeps the previous answer.
      if (reply.button == RestoreButton::kYes) {
        m.RestoreAnswer = reply.dontAskAgain ? StandingRestore::kYesToAll : StandingRestore::kYes;
      }
      if (reply.button == RestoreButton::kNo) {
        m.RestoreAnswer = reply.dontAskAgain ? StandingRestore::kNoToAll : StandingRestore::kNo;
      }
    }
    if (m.RestoreAnswer == StandingRestore::kYes || m.RestoreAnswer == StandingRestore::kYesToAll) {
      rebuildOne(i);
    }
  }
}

}  // namespace

RestoreOutcome RestoreFromReport(Action& action, bool askEachFile) {
  const PreparedRestore prepared = PrepareRestore(action);
  if (prepared.outcome != RestoreOutcome::kRestored) {
    SayWhyNot(action, prepared.outcome);
    return prepared.outcome;
  }
  action.model.RestoreAnswer = StandingRestore::kNone;
  RestoreSources sources(action, prepared.plan);
  if (askEachFile) {
    RebuildAsked(action, prepared.plan, sources);
  } else {
    RebuildAll(action, prepared.plan, sources);
  }
  return RestoreOutcome::kRestored;
}

}  // namespace tarvel
