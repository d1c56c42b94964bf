// The user actions from start to end, the same for every front end:
// creating a set, checking one, restoring its files and repairing it.  Each
// asks what it needs through the Interaction and leaves the model as the
// report of the set describes it.

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "engine/set/action.h"
#include "engine/set/create_rules.h"
#include "engine/engine.h"
#include "engine/format/format.h"
#include "engine/io/replacing_writer.h"

namespace tarvel {
namespace {

constexpr char kOperationAbortedText[] = "Operation aborted!";
constexpr char kCreatedText[] = "Files successfully created.";
constexpr char kErrorReadingListsText[] = "Error Reading lists. Operation aborted.";
constexpr char kNoRoomText[] = "Not enough free disk space for this.";
constexpr char kHiddenVolumesText[] =
    "Volumes named after this file name would be hidden, and no check would find them. Choose "
    "another name.";

bool AllFilesOk(const SetModel& m) { return m.BadFileCount == 0 && m.CrcOnlyBadCount == 0; }

// The other volumes in the folder of `volume` that belong to its set, to
// read the set from when `volume` has an unreadable sector: those with its
// set digest when its header reads, else those named like it (the same
// base name, a volume extension).  By volume number, then name.
std::vector<std::string> OtherVolumesOfTheSet(Env& env, const std::string& volume) {
  const auto headerOf = [&env](const std::string& path) -> std::optional<VolumeHeader> {
    std::array<std::uint8_t, kHeaderSize> raw{};
    try {
      if (env.OpenRead(path)->ReadAt(0, raw.data(), raw.size()) != raw.size()) return std::nullopt;
    } catch (const FileError&) {
      return std::nullopt;
    }
    if (RecogniseVolume(raw) != VolumeKind::kVolume) return std::nullopt;
    return DecodeHeader(raw);
  };
  const std::optional<VolumeHeader> own = headerOf(volume);
  std::string base;
  const bool named = VolumeNumberOfName(BareName(volume), &base).has_value();
  const std::string folder = FolderOf(volume);
  std::vector<std::pair<std::uint64_t, std::string>> found;
  for (const std::string& name : env.ListPlainFiles(folder)) {
    if (name == BareName(volume)) continue;
    const std::string path = JoinPath(folder, name);
    const std::optional<VolumeHeader> h = headerOf(path);
    if (!h) continue;
    std::string otherBase;
    const bool sameSet = own ? h->setHash == own->setHash
                             : named && VolumeNumberOfName(name, &otherBase) && otherBase == base;
    if (sameSet) found.emplace_back(h->volumeNumber, path);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& [number, path] : found) paths.push_back(std::move(path));
  return paths;
}

}  // namespace

SetProposal Engine::Proposal() {
  const SetModel& m = model_;
  SetProposal p;
  p.fileCount = m.FileCount;
  p.biggestFileSize = m.BiggestFileSize;
  p.totalSize = m.TotalSize;
  const ParityCountBounds bounds = ParityCountBoundsFor(m.FileCount);
  p.fewestVolumes = bounds.min;
  p.mostVolumes = bounds.max;
  p.defaultVolumes = DefaultParityCount(m.FileCount);
  p.defaultBaseName = DefaultBaseName(m.FileTable[0].name);
  const std::int64_t biggest = m.BiggestFileSize;
  Env& env = env_;
  p.refusal = [&env, biggest](int parityCount, const std::string& baseName) -> std::string {
    if (GivesHiddenVolumes(baseName)) return kHiddenVolumesText;
    if (std::string missing = MissingFolderRefusal(env, baseName); !missing.empty()) return missing;
    if (!HasRoomForVolumes(env, baseName, biggest, parityCount)) return kNoRoomText;
    return "";
  };
  return p;
}

CreateOutcome Engine::Create(std::vector<std::string> paths) {
  const ActionScope scope(*this);
  model_.ResetTables();
  if (const std::string refusal = CheckFileChoice(env_, paths); !refusal.empty()) {
    ui_.Message(refusal);
    return CreateOutcome::kRefused;
  }
  for (const std::string& path : paths) HoldFolder(FolderOf(path));
  const std::string filesFolder = FolderOf(paths.front());
  // A front end whose answers stand learns nothing from the digests before
  // writing: the files are then read once, by the parity pass.
  if (!(ui_.AnswersStand() ? AnalyseNamesAndSizes(paths) : AnalyseFiles(paths))) {
    ui_.Message(kOperationAbortedText);
    return CreateOutcome::kRefused;
  }

  const SetProposal proposal = Proposal();
  const SetChoice choice = ui_.AskSetProperties(proposal);
  if (!choice.accepted) {
    ui_.Message(kOperationAbortedText);
    return CreateOutcome::kCancelled;
  }
  const std::string base =
      choice.baseName.value_or(JoinPath(filesFolder, proposal.defaultBaseName));
  const int count = choice.parityCount;
  // A front end that asks a person has refused such a choice already; one
  // that answers without asking learns it here.
  if (const std::string refusal = proposal.refusal(count, base); !refusal.empty()) {
    ui_.Message(refusal);
    return refusal == kNoRoomText ? CreateOutcome::kNoRoom : CreateOutcome::kRefused;
  }

  // Nothing is written before the questions about where the volumes go and
  // what they replace are answered.  The volumes' folder is named in full.
  HoldFolder(FolderOf(base));
  const std::string where = base.starts_with('/') ? base : JoinPath(env_.CurrentFolder(), base);
  const VolumePlan plan = PlanVolumes(env_, filesFolder, where, count);
  if (plan.awayFromFiles && !ui_.Confirm({QuestionKind::kVolumesAway,
                                          AwayFromFilesQuestion(plan),
                                          AwayFromFilesWarning(plan),
                                          {}})) {
    return CreateOutcome::kCancelled;
  }
  // A volume that is one of the files is refused by WriteVolumeSet, which says why.
  if (!plan.existing.empty() && VolumeReplacingASetFile(env_, paths, base, count).empty() &&
      !ui_.Confirm(
          {QuestionKind::kReplaceVolumes, ReplaceQuestion(plan), {}, ReplaceRefusal(plan)})) {
    return CreateOutcome::kCancelled;
  }

  // What the person agreed to replace, and nothing else.
  if (!WriteVolumeSet(base, count, plan.existing)) {
    ui_.Message(kOperationAbortedText);
    return CreateOutcome::kRefused;
  }
  ui_.Succeeded(kCreatedText);
  if (!plan.leftOver.empty()) ui_.Message(LeftOverNote(plan));
  return CreateOutcome::kCreated;
}

CheckOutcome Engine::Check(const std::vector<std::string>& given) {
  const ActionScope scope(*this);
  std::vector<std::string> volumes = given;
  for (std::size_t k = 0; k < volumes.size(); ++k) {
    bool read = false;
    try {
      read = ReadVolume(volumes[k]);
    } catch (const FileError& error) {
      // A volume with an unreadable sector is no reason to leave the set
      // unchecked: any other volume of it holds the same list.
      if (!IsDamageError(error.OsError())) throw;
      std::vector<std::string> others = OtherVolumesOfTheSet(env_, volumes[k]);
      std::erase_if(others, [&](const std::string& path) {
        return std::find(volumes.begin(), volumes.end(), path) != volumes.end();
      });
      if (others.empty()) throw;
      ui_.Message(WithReason(error.what(), error.OsError()) +
                  ". The set is read from another of its volumes.");
      volumes.insert(volumes.begin() + static_cast<std::ptrdiff_t>(k) + 1, others.begin(),
                     others.end());
      continue;
    }
    if (!read) {
      ui_.Message(kErrorReadingListsText);
      continue;  // another volume of the same set may still read
    }
    SearchFiles();
    FindVolumes();
    ShowReport();
    return CheckOutcome::kChecked;
  }
  return CheckOutcome::kUnreadable;
}

RestoreOutcome Engine::Restore(bool askEachFile, bool checkVolumesAgain) {
  const ActionScope scope(*this);
  HoldFolder(setFolder_);
  const std::size_t actionsBefore = actions_.size();
  RestoreOutcome outcome;
  try {
    outcome = RestoreFromReport(askEachFile);
    if (outcome != RestoreOutcome::kRestored) return outcome;  // refused, its message shown
    SearchFiles();
    // A rebuilt file may have taken the place of a link that led to a volume.
    if (checkVolumesAgain) FindVolumes();
  } catch (const ActionStopped&) {
    // The files rebuilt, renamed or copied before the stop are in place,
    // each proven by its digest: the report shows the set as it now is,
    // without reading it again.
    for (std::size_t k = actionsBefore; k < actions_.size(); ++k) {
      const FileAction& a = actions_[k];
      if (a.kind != FileActionKind::kRebuilt && a.kind != FileActionKind::kRenamed &&
          a.kind != FileActionKind::kCopied) {
        continue;
      }
      for (int i = 0; i < model_.FileCount; ++i) {
        fileentry& e = model_.FileTable[i];
        if (e.name != a.name) continue;
        e.present = e.crcok = 1;
        e.trouble = ReadTrouble::kNone;
      }
    }
    ui_.HideProgress();
    ShowReport();
    ui_.SetWorking(false);
    throw;
  }
  ShowReport();
  ui_.SetWorking(false);
  return outcome;
}

SetState Engine::Assess() {
  const SetModel& m = model_;
  const SetHealth health = Health();
  if (health.notChecked) return SetState::kNotChecked;
  if (AllFilesOk(m)) return SetState::kAllOk;
  // A listed name that holds a volume of the set is never replaced.
  if (health.holdsVolume) return SetState::kUnrepairable;
  if (m.BadFileCount > 0) {
    const RestoreOutcome plan = PlanRepair();
    return plan == RestoreOutcome::kRestored || plan == RestoreOutcome::kNothingToRestore
               ? SetState::kRepairable
               : SetState::kUnrepairable;
  }
  // Only digest-only files are bad: a repair can but rename or copy them.
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    if (!(e.present && e.crcok) && FoundUnderOtherName(i)) return SetState::kRepairable;
  }
  return SetState::kUnrepairable;
}

Engine::SetHealth Engine::Health() const {
  const SetModel& m = model_;
  SetHealth h;
  h.onlyChangedBad = true;
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    if (e.Intact()) continue;
    h.notChecked |= e.present && e.trouble == ReadTrouble::kNotChecked;
    h.holdsVolume |= e.present && e.trouble == ReadTrouble::kIsVolume;
    h.onlyChangedBad &= e.InParity() && ChangedAfterSet(e, m);
  }
  for (int v = 0; v <= kLastReportedVolume; ++v) {
    const fileentry& slot = m.VolumeTable[v];
    h.notChecked |= slot.present && slot.trouble == ReadTrouble::kNotChecked;
  }
  return h;
}

RepairResult Engine::Repair() {
  const SetModel& m = model_;
  bool changed = PlacedBySearch() > 0;
  if (m.BadFileCount > 0) {
    // Refused (too few volumes, an unsolvable system): nothing was changed,
    // and the refusal was said.
    changed |=
        Restore(/*askEachFile=*/false, /*checkVolumesAgain=*/true) == RestoreOutcome::kRestored;
  }
  const SetHealth health = Health();
  if (health.notChecked) return RepairResult::kNotChecked;
  if (AllFilesOk(m)) return RepairResult::kAllOk;
  // What is left bad was left so on purpose: files changed after the set.
  if (health.onlyChangedBad) return RepairResult::kDiffers;
  return changed ? RepairResult::kStillBad : RepairResult::kUnchanged;
}

std::optional<RepairResult> Engine::CheckAndRepair(const std::vector<std::string>& volumes,
                                                   bool& checked) {
  const ActionScope scope(*this);
  // The digests the check takes serve the check after the rebuild.  Their
  // files' stamps are told apart by the clock of the file system that set
  // them, never by this process's.
  memo_ = std::make_unique<DigestMemo>(
      [this] { return setFolder_.empty() ? std::nullopt : FileSystemNow(env_, setFolder_); });
  checked = false;
  if (Check(volumes) != CheckOutcome::kChecked) return std::nullopt;
  checked = true;
  return Repair();
}

}  // namespace tarvel
