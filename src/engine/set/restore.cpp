// Restoring the files of a checked set whose data is in parity and whose
// content is missing or wrong, from the good files and the usable parity
// volumes.
//
// Nothing is created or changed before the recovery system is known to be
// solvable.  Each rebuilt file is written to a hidden temporary file of the
// set folder and renamed over its name only when it is complete and has the
// size and digests listed for it, so neither a failure half-way nor a volume
// holding wrong parity changes the damaged file.  The sources are opened
// once per run and read with one large read per row and chunk; every
// missing file's chunk comes out of one ApplyRecovery, so any number of
// files is rebuilt in one pass over the sources.

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "engine/set/action.h"
#include "engine/engine.h"
#include "engine/io/replacing_writer.h"
#include "engine/io/stream_digests.h"
#include "engine/io/worker_pool.h"

namespace tarvel {
namespace {

// Restoring marks parity volumes up to this number as usable.
constexpr int kLastRestoreVolume = 128;

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

}  // namespace

// The files behind DataBlock rows 0..N-1 as PrepareRecovery chose them,
// opened at the first rebuild of a run and closed when the run ends.
class Engine::RestoreSources {
 public:
  explicit RestoreSources(Engine& engine) : engine_(engine) {}

  void Open() {
    if (opened_) return;
    const SetModel& m = engine_.model_;
    const ParityMatrix& parity = engine_.parity_;
    const int rows = parity.RowSourceCount;
    files_.resize(rows);
    limits_.resize(rows);
    offsets_.resize(rows);
    for (int r = 0; r < rows; ++r) {
      const RowSource& source = parity.RowSources[r];
      if (source.file > 0) {
        files_[r] =
            engine_.env_.OpenRead(engine_.InSetFolder(m.ParityFileTable[source.file - 1].name));
        limits_[r] = files_[r]->Size();
        offsets_[r] = 0;
      } else {
        const fileentry& volume = m.VolumeTable[source.volume];
        files_[r] = engine_.env_.OpenRead(engine_.InSetFolder(volume.name));
        limits_[r] = m.BiggestFileSize;
        offsets_[r] = volume.dataoffset;  // its own header's, not the list's that was read
      }
    }
    opened_ = true;
  }

  // Fills DataRow(r) with the chunk at `pos` of source r; what lies beyond
  // the source's end reads as zeros.
  void ReadChunk(int r, std::int64_t pos) {
    ParityMatrix& parity = engine_.parity_;
    const std::int64_t want = std::clamp<std::int64_t>(limits_[r] - pos, 0, kChunkSize);
    std::size_t got = 0;
    if (want > 0) {
      got = files_[r]->ReadAt(offsets_[r] + pos, parity.DataRow(r), static_cast<std::size_t>(want));
    }
    parity.ClearDataRowFrom(r, static_cast<int>(got));
  }

 private:
  Engine& engine_;
  bool opened_ = false;
  std::vector<std::unique_ptr<File>> files_;
  std::vector<std::int64_t> limits_;   // bytes of the source that take part
  std::vector<std::int64_t> offsets_;  // where the source's data starts in its file
};

int Engine::RecoveryUnknowns() const {
  int unknowns = 0;
  for (int i = 0; i < model_.FileCount; ++i) {
    const fileentry& e = model_.FileTable[i];
    unknowns += e.InParity() && !e.Intact();
  }
  return unknowns;
}

RestoreOutcome Engine::PrepareRestore() {
  SetModel& m = model_;
  // Files that cannot be read, or that hold a volume, are unknowns of the
  // recovery like the bad ones, but never rebuilt.
  int toRebuild = 0;
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    toRebuild += e.InParity() && !e.Intact() && MayReplace(e);
  }
  if (toRebuild == 0) return RestoreOutcome::kNothingToRestore;
  if (RecoveryUnknowns() > m.UsableVolumeCount) return RestoreOutcome::kNotEnoughVolumes;

  m.CompactParityFiles();
  const int files = m.ParityFileCount;
  if (files > kMaxRecoverFiles) return RestoreOutcome::kUnsolvable;

  parity_.SetupParity();
  std::fill(std::begin(parity_.VolumeUsableFlags), std::end(parity_.VolumeUsableFlags), 0);
  std::fill(std::begin(parity_.FileOkFlags), std::end(parity_.FileOkFlags), 0);
  for (int v = 1; v <= kLastRestoreVolume; ++v) {
    const fileentry& slot = m.VolumeTable[v];
    parity_.VolumeUsableFlags[v] = slot.present && slot.crcok ? 1 : 0;
  }
  for (int k = 1; k <= files; ++k) parity_.FileOkFlags[k] = m.ParityFileTable[k - 1].crcok;

  switch (parity_.PrepareRecovery(files)) {
    case RecoveryResult::kOk:
      return RestoreOutcome::kRestored;
    case RecoveryResult::kNotEnoughVolumes:
      return RestoreOutcome::kNotEnoughVolumes;
    case RecoveryResult::kTooManyFiles:
    case RecoveryResult::kSingular:
      break;
  }
  return RestoreOutcome::kUnsolvable;
}

RestoreOutcome Engine::PlanRestore() { return PrepareRestore(); }

RestoreOutcome Engine::PlanRepair() {
  SetModel& m = model_;
  // Count the files found elsewhere as in place, plan, and put the flags back.
  std::vector<std::pair<int, std::pair<std::uint8_t, std::uint8_t>>> saved;
  const std::int32_t badFiles = m.BadFileCount;
  for (int i = 0; i < m.FileCount; ++i) {
    fileentry& e = m.FileTable[i];
    if (!FoundUnderOtherName(i) || (e.present && e.crcok)) continue;
    saved.push_back({i, {e.present, e.crcok}});
    e.present = e.crcok = 1;
    if (e.InParity()) --m.BadFileCount;
  }
  const RestoreOutcome plan = PrepareRestore();
  for (const auto& [i, flags] : saved) {
    m.FileTable[i].present = flags.first;
    m.FileTable[i].crcok = flags.second;
  }
  m.BadFileCount = badFiles;
  m.CompactParityFiles();
  return plan;
}

RestoreOutcome Engine::RestoreFromReport(bool askEachFile) {
  const ActionScope scope(*this);
  SetModel& m = model_;
  const RestoreOutcome plan = PrepareRestore();
  switch (plan) {
    case RestoreOutcome::kNothingToRestore:
      ui_.Message("No files to restore...");
      return plan;
    case RestoreOutcome::kNotEnoughVolumes:
      ui_.Message("You do not have enough parity volumes. " + std::to_string(RecoveryUnknowns()) +
                  " parity volumes are needed.");
      return plan;
    case RestoreOutcome::kUnsolvable:
      if (m.ParityFileCount > kMaxRecoverFiles) {
        ui_.Message("This set has " + std::to_string(m.ParityFileCount) +
                    " files in parity; files can be restored only in sets of at most " +
                    std::to_string(kMaxRecoverFiles) + ". Nothing was changed.");
      } else {
        ui_.Message(
            "The bad files cannot be rebuilt from the parity volumes found: together they do "
            "not determine the missing data. Other parity volumes of this set are needed. "
            "Nothing was changed.");
      }
      return plan;
    case RestoreOutcome::kRestored:
      break;
  }

  ui_.SetWorking(true);
  m.RestoreAnswer = 0;
  ui_.ResetRestorePrompt();
  RestoreSources sources(*this);
  const int missing = parity_.MissingCount;
  const auto entryAt = [&](int i) -> const fileentry& {
    return m.ParityFileTable[parity_.MissingFiles[i] - 1];
  };
  const auto promptFor = [&](const fileentry& e) {
    return RestorePrompt{e.name, e.present == 0, ChangedAfterSet(e, m)};
  };
  if (!askEachFile) {
    // Every bad file without asking, but one changed after the set was
    // made: the newer work is put back only when the front end says so.
    std::vector<int> chosen;
    for (int i = 0; i < missing; ++i) {
      const fileentry& e = entryAt(i);
      if (!MayReplace(e)) continue;
      if (ChangedAfterSet(e, m) && ui_.AskRestore(promptFor(e)).button != RestoreButton::kYes) {
        continue;
      }
      chosen.push_back(i);
    }
    RebuildFiles(chosen, sources);
    return RestoreOutcome::kRestored;
  }
  for (int i = 0; i < missing; ++i) {
    const fileentry& e = entryAt(i);
    if (!MayReplace(e)) continue;
    if (ChangedAfterSet(e, m)) {
      // A file changed after the set was made is asked about unless the
      // answer for the set is No, and restored only on a Yes for it; what
      // is answered for it holds for the others only when ticked so.
      if (m.RestoreAnswer == 4) continue;
      const RestoreReply reply = ui_.AskRestore(promptFor(e));
      if (reply.dontAskAgain && reply.button != RestoreButton::kClosed) {
        m.RestoreAnswer = reply.button == RestoreButton::kYes ? 3 : 4;
      }
      if (reply.button == RestoreButton::kYes) RebuildFiles({i}, sources);
      continue;
    }
    if (m.RestoreAnswer < 3) {
      const RestoreReply reply = ui_.AskRestore(promptFor(e));
      // Closing the prompt keeps the previous answer.
      if (reply.button == RestoreButton::kYes) m.RestoreAnswer = reply.dontAskAgain ? 3 : 1;
      if (reply.button == RestoreButton::kNo) m.RestoreAnswer = reply.dontAskAgain ? 4 : 2;
    }
    if (m.RestoreAnswer == 1 || m.RestoreAnswer == 3) RebuildFiles({i}, sources);
  }
  return RestoreOutcome::kRestored;
}

void Engine::RebuildFiles(const std::vector<int>& missingIndices, RestoreSources& sources) {
  if (missingIndices.empty()) return;
  const SetModel& m = model_;
  const auto entryOf = [&](int i) -> const fileentry& {
    return m.ParityFileTable[parity_.MissingFiles[i] - 1];
  };

  // One record for the whole run: its item is the file when there is one.
  ProgressRecord record;
  record.step = ProgressStep::kRestoring;
  record.items = static_cast<int>(missingIndices.size());
  record.name = entryOf(missingIndices[0]).name;
  record.percent = 0;
  for (int i : missingIndices) record.stepTotal += entryOf(i).filesize;
  record.itemTotal = record.stepTotal;
  ui_.ShowProgress();
  Report(record);

  // Whatever ends the run, the files not committed by then were not rebuilt.
  bool ended = false;
  const AtScopeEnd recordUnfinished([&] {
    if (ended) return;
    for (int i : missingIndices)
      actions_.push_back({FileActionKind::kNotRebuilt, entryOf(i).name, {}});
  });

  // Only the chunks that hold bytes of a rebuilt file are read.
  // Their digests are taken as they are written, side by side.
  std::vector<std::unique_ptr<ReplacingWriter>> targets;
  StreamDigests written(missingIndices.size());
  std::int64_t end = 0;
  for (int i : missingIndices) {
    targets.push_back(std::make_unique<ReplacingWriter>(env_, InSetFolder(entryOf(i).name),
                                                        /*keepDigests=*/false));
    end = std::max(end, entryOf(i).filesize);
  }
  sources.Open();

  // The percentage is that of the whole parity data, as for every restore;
  // the pass simply ends once the rebuilt files are complete.
  const int rows = parity_.RowSourceCount;
  WorkerPool& workers = Pool(static_cast<std::size_t>(rows));
  const auto events = [this] { PaceEvents(); };
  for (std::int64_t pos = 0; pos < end; pos += kChunkSize) {
    // Every chunk, so the windows stay painted however large the files
    // are, and a stop is heard.
    record.percent = static_cast<int>(pos * 100 / std::max(m.BiggestFileSize, end));
    Report(record);
    // The sources are read on all threads (an error is that of the first
    // source in order that failed), and the rebuilt chunks are written
    // while their digests are taken, both shared among the threads.
    workers.ForEach(
        static_cast<std::size_t>(rows),
        [&](std::size_t r) { sources.ReadChunk(static_cast<int>(r), pos); }, events);
    parity_.ApplyRecovery();
    const std::size_t count = missingIndices.size();
    const auto length = [&](std::size_t t) {
      return static_cast<std::size_t>(
          std::clamp<std::int64_t>(entryOf(missingIndices[t]).filesize - pos, 0, kChunkSize));
    };
    for (std::size_t t = 0; t < count; ++t) {
      written.Add(t, parity_.ParityRow(missingIndices[t]), length(t));
    }
    const auto parts = static_cast<std::size_t>(workers.Threads());
    workers.ForEach(
        parts + count,
        [&](std::size_t task) {
          if (task < parts) {
            written.Run(task, parts);
            return;
          }
          const std::size_t t = task - parts;
          targets[t]->WriteAt(pos, std::span(parity_.ParityRow(missingIndices[t]), length(t)));
        },
        events);
    for (std::size_t t = 0; t < count; ++t) record.stepDone += static_cast<std::int64_t>(length(t));
    record.itemDone = record.stepDone;
  }
  Report(record);  // every byte written
  // Each rebuilt file is proven before it replaces anything: a volume whose
  // digest is right can still carry wrong parity (one made from other files
  // with the same set digest, or crafted), and its output must never
  // overwrite what the user has.  The proven ones are put in place together.
  std::vector<ReplacingWriter*> proven;
  std::vector<FileAction> outcomes;
  for (std::size_t t = 0; t < targets.size(); ++t) {
    const fileentry& e = entryOf(missingIndices[t]);
    if (written.Length(t) == e.filesize && md5equal(written.Whole(t), e.md5whole) &&
        md5equal(written.Head(t), e.md5head)) {
      // The content is as old as the set: a rebuilt file keeps the time of
      // the decayed file it replaces, or takes the set's, so that later
      // damage to it is never taken for a person's edit.
      const std::int64_t modified = e.present && e.modifiedNs > 0 && e.modifiedNs <= m.SetStampNs
                                        ? e.modifiedNs
                                        : m.SetStampNs;
      if (modified > 0) targets[t]->SetModifiedTime(modified);
      proven.push_back(targets[t].get());
      outcomes.push_back({FileActionKind::kRebuilt, e.name, {}});
    } else {
      targets[t].reset();  // removes the temporary file
      outcomes.push_back({FileActionKind::kNotRebuilt, e.name, {}});
      ui_.Message(NotRebuiltText(e.name));
    }
  }
  if (!proven.empty()) CommitTogether(env_, proven);
  ended = true;
  actions_.insert(actions_.end(), outcomes.begin(), outcomes.end());
}

}  // namespace tarvel
