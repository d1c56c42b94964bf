// SPDX-License-Identifier: GPL-3.0-or-later
// The user actions from start to end, the same for every front end:
// creating a set, checking one, restoring its files and repairing it.  Each
// makes the Action it runs in, runs its steps (engine/set/) through it,
// asks what it needs through the Interaction, and leaves the set model as
// the report of the set describes it.
#include "engine/engine.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "engine/format/volume_names.h"
#include "engine/format/volume_reader.h"
#include "engine/io/digest_memo.h"
#include "engine/io/file_digests.h"
#include "engine/io/replacing_writer.h"
#include "engine/set/action.h"
#include "engine/set/analysis.h"
#include "engine/set/create_rules.h"
#include "engine/set/file_search.h"
#include "engine/set/protect.h"
#include "engine/set/restore.h"
#include "engine/set/set_report.h"
#include "engine/set/set_writer.h"
#include "engine/set/volume_search.h"
#include "parity/rs.h"
#include "platform/language.h"

namespace tarvel {
namespace {

constexpr char kCreatedText[] = "Files successfully created.";
constexpr char kErrorReadingListsText[] = "Error Reading lists. Operation aborted.";
// --- Creating ---------------------------------------------------------------

// Nothing is written before the questions about where the volumes go and
// what they replace are answered.  False when one is answered no.
bool AskBeforeWriting(Action& action, const std::vector<std::string>& paths,
                      const std::string& base, int count, const VolumePlan& plan) {
  if (plan.awayFromFiles && !action.ui.Confirm({QuestionKind::kVolumesAway,
                                                AwayFromFilesQuestion(plan),
                                                AwayFromFilesWarning(plan),
                                                {}})) {
    return false;
  }
  // A volume that is one of the files is refused by WriteVolumeSet, which says why.
  return plan.existing.empty() ||
         !VolumeReplacingASetFile(action.env, paths, base, count).empty() ||
         action.ui.Confirm(
             {QuestionKind::kReplaceVolumes, ReplaceQuestion(plan), {}, ReplaceRefusal(plan)});
}

// --- Checking ---------------------------------------------------------------

// The other volumes in the folder of `volume` that belong to its set, to
// read the set from when `volume` has an unreadable sector: those with its
// set digest when its header reads, else those named like it (the same
// base name, a volume extension).  By volume number, then name.
std::vector<std::string> OtherVolumesOfTheSet(Env& env, const std::string& volume) {
  const std::optional<VolumeHeader> own = ReadVolumeHeader(env, volume);
  std::string base;
  const bool named = VolumeNumberOfName(BareName(volume), &base).has_value();
  const std::string folder = FolderOf(volume);
  std::vector<std::pair<std::uint64_t, std::string>> found;
  for (const std::string& name : env.ListPlainFiles(folder)) {
    if (name == BareName(volume)) continue;
    const std::string path = JoinPath(folder, name);
    const std::optional<VolumeHeader> h = ReadVolumeHeader(env, path);
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

// ResetTables and ReadVolume of `volumePath`, the reader's problems shown;
// on success the set folder becomes the volume's folder (held for the rest
// of the action), and temporary files abandoned there by a process that was
// killed are removed.
bool ReadSet(Action& action, const std::string& volumePath) {
  SetModel& m = action.model;
  m.ResetTables();
  m.Actions.clear();
  const VolumeReading reading = ReadVolume(m, action.env, volumePath);
  if (reading.newerWriter) action.ui.Message(kHigherVersionText);
  if (reading.problem != VolumeProblem::kNone) {
    action.ui.Message(ProblemText(reading.problem));
    return false;
  }
  // The set lives in the volume's folder.  A relative volume path is taken
  // against the current folder once, here, so that nothing later depends on
  // where the process happens to be.
  std::string folder = FolderOf(volumePath);
  if (folder.empty() || folder.front() != '/') {
    const std::string current = action.env.CurrentFolder();
    folder = folder.empty() ? current : JoinPath(current, folder);
  }
  m.Folder = folder;
  m.VolumeRead = BareName(volumePath);
  action.HoldFolder(folder);
  // The volume search of this check need not read the volume again.
  if (reading.control) {
    action.HandOver().Keep(
        reading.stamp, kControlDigestStart, -1,
        {reading.control->hashed, reading.control->whole, reading.control->head});
  }
  std::vector<std::string> listed;
  for (int i = 0; i < m.FileCount; ++i) listed.push_back(m.FileTable[i].name);
  RemoveAbandonedTemporaryFiles(action.env, folder, listed);
  return true;
}

// Reads the set of the first of `given` that reads; a volume with an
// unreadable sector is no reason to leave the set unchecked: any other
// volume of it holds the same list.
bool ReadFirstOf(Action& action, const std::vector<std::string>& given) {
  std::vector<std::string> volumes = given;
  for (std::size_t k = 0; k < volumes.size(); ++k) {
    bool read = false;
    try {
      read = ReadSet(action, volumes[k]);
    } catch (const FileError& error) {
      if (!IsDamageError(error.OsError())) throw;
      std::vector<std::string> others = OtherVolumesOfTheSet(action.env, volumes[k]);
      std::erase_if(others, [&](const std::string& path) {
        return std::find(volumes.begin(), volumes.end(), path) != volumes.end();
      });
      if (others.empty()) throw;
      action.ui.Message(WithReason(error.what(), error.OsError()) +
                        ". The set is read from another of its volumes.");
      volumes.insert(volumes.begin() + static_cast<std::ptrdiff_t>(k) + 1, others.begin(),
                     others.end());
      continue;
    }
    if (read) return true;
    action.ui.Message(TR(kErrorReadingListsText));  // another volume of the same set may still read
  }
  return false;
}

// The report of the set, shown.
SetReport ShowReport(Action& action) {
  SetReport report = BuildReport(action.model);
  action.ui.ShowReport(report);
  return report;
}

// What the model says beyond the counts of the report.
struct SetHealth {
  bool notChecked = false;      // a file or volume could not be read, not for damage
  bool holdsVolume = false;     // a listed name holds a volume of the set
  bool onlyChangedBad = false;  // every file not intact is in parity and changed after the set
};

SetHealth Health(const SetModel& m) {
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

bool AllFilesOk(const SetCounts& c) { return c.badFiles == 0 && c.badCrcOnly == 0; }

// After a check: whether the set is intact, and if not, whether a repair
// (rebuilding, putting files found under other names in place, reverting
// files changed after the set was made) would mend every bad file.
SetState Assess(Action& action) {
  const SetModel& m = action.model;
  const SetCounts counts = CountSet(m);
  const SetHealth health = Health(m);
  if (health.notChecked) return SetState::kNotChecked;
  if (AllFilesOk(counts)) return SetState::kAllOk;
  // A listed name that holds a volume of the set is never replaced.
  if (health.holdsVolume) return SetState::kUnrepairable;
  if (counts.badFiles > 0) {
    const RestoreOutcome plan = PlanRepair(action);
    return plan == RestoreOutcome::kRestored || plan == RestoreOutcome::kNothingToRestore
               ? SetState::kRepairable
               : SetState::kUnrepairable;
  }
  // Only digest-only files are bad: a repair can but rename or copy them.
  for (int i = 0; i < m.FileCount; ++i) {
    if (!m.FileTable[i].Intact() && action.found.FoundElsewhere(i)) return SetState::kRepairable;
  }
  return SetState::kUnrepairable;
}

// The check of an action: the set read, its files searched and verified,
// its volumes found, and the report shown.
CheckReport CheckSet(Action& action, const std::vector<std::string>& volumes) {
  CheckReport check;
  if (!ReadFirstOf(action, volumes)) return check;
  SearchFiles(action, /*volumesNext=*/true);
  FindVolumes(action);
  check.outcome = CheckOutcome::kChecked;
  check.report = ShowReport(action);
  check.state = Assess(action);
  return check;
}

// --- Restoring --------------------------------------------------------------

// A restore from the report, the files searched and verified again (and the
// volumes found again when `checkVolumesAgain`: a rebuilt file may have
// taken the place of a link that led to a volume), and the new report
// shown.  A stop keeps what was done and shows the set as it now is.
RestoreOutcome RestoreAndShow(Action& action, bool askEachFile, bool checkVolumesAgain) {
  SetModel& m = action.model;
  action.HoldFolder(m.Folder);
  const std::size_t actionsBefore = m.Actions.size();
  RestoreOutcome outcome;
  try {
    outcome = RestoreFromReport(action, askEachFile);
    if (outcome != RestoreOutcome::kRestored) return outcome;  // refused, its message shown
    SearchFiles(action, checkVolumesAgain);
    if (checkVolumesAgain) FindVolumes(action);
  } catch (const ActionStopped&) {
    // The files rebuilt, renamed or copied before the stop are in place,
    // each proven by its digest: the report shows the set as it now is,
    // without reading it again.
    for (std::size_t k = actionsBefore; k < m.Actions.size(); ++k) {
      const FileAction& a = m.Actions[k];
      if (a.kind != FileActionKind::kRebuilt && a.kind != FileActionKind::kRenamed &&
          a.kind != FileActionKind::kCopied) {
        continue;
      }
      for (int i = 0; i < m.FileCount; ++i) {
        fileentry& e = m.FileTable[i];
        if (e.name != a.name) continue;
        e.present = e.crcok = 1;
        e.trouble = ReadTrouble::kNone;
      }
    }
    action.ui.HideProgress();
    ShowReport(action);
    throw;
  }
  ShowReport(action);
  return outcome;
}

// After a check: every bad file rebuilt without asking, the files and
// volumes checked again and the new report shown.
RepairResult RepairSet(Action& action) {
  const SetModel& m = action.model;
  bool changed = action.found.placed > 0;
  if (CountSet(m).badFiles > 0) {
    // Refused (too few volumes, an unsolvable system): nothing was changed,
    // and the refusal was said.
    changed |= RestoreAndShow(action, /*askEachFile=*/false, /*checkVolumesAgain=*/true) ==
               RestoreOutcome::kRestored;
  }
  const SetHealth health = Health(m);
  if (health.notChecked) return RepairResult::kNotChecked;
  if (AllFilesOk(CountSet(m))) return RepairResult::kAllOk;
  // What is left bad was left so on purpose: files changed after the set.
  if (health.onlyChangedBad) return RepairResult::kDiffers;
  return changed ? RepairResult::kStillBad : RepairResult::kUnchanged;
}

}  // namespace

Engine::Engine(Env& env, Interaction& ui)
    : env_(env),
      ui_(ui),
      set_(std::make_unique<SetModel>()),
      parity_(std::make_unique<ParityMatrix>()) {}

Engine::~Engine() = default;

CreateOutcome Engine::Create(std::vector<std::string> paths, const CreateOptions& options) {
  Action action(env_, ui_, *set_, *parity_, threads_, stop_);
  SetModel& m = *set_;
  m.ResetTables();
  if (const std::string refusal = CheckFileChoice(env_, paths); !refusal.empty()) {
    ui_.Message(refusal);
    return CreateOutcome::kRefused;
  }
  for (const std::string& path : paths) action.HoldFolder(FolderOf(path));
  const std::string filesFolder = FolderOf(paths.front());
  const std::optional<Analysis> analysis = AnalyseFiles(action, paths, options.onePass);
  if (!analysis) {
    ui_.Message(TR(kOperationAbortedText));
    return CreateOutcome::kRefused;
  }

  SetProposal proposal = ProposeSet(env_, m);
  const std::string defaultBase = JoinPath(filesFolder, proposal.defaultBaseName);
  for (;;) {
    const SetChoice choice = ui_.AskSetProperties(proposal);
    if (!choice.accepted) {
      ui_.Message(TR(kOperationAbortedText));
      return CreateOutcome::kCancelled;
    }
    const std::string base = choice.baseName.value_or(defaultBase);
    const int count = choice.parityCount;
    // A front end that asks a person has refused such a choice already; one
    // that answers without asking learns it here.
    if (const std::string refusal = proposal.refusal(count, base); !refusal.empty()) {
      ui_.Message(refusal);
      return refusal == TR(kNoRoomText) ? CreateOutcome::kNoRoom : CreateOutcome::kRefused;
    }

    // The volumes' folder is named in full.
    action.HoldFolder(FolderOf(base));
    const std::string where = base.starts_with('/') ? base : JoinPath(env_.CurrentFolder(), base);
    const VolumePlan plan = PlanVolumes(env_, filesFolder, where, count, paths);
    if (!AskBeforeWriting(action, paths, base, count, plan)) {
      // A person who answered no, with volumes of that name there, chooses
      // again from the choices just made.
      if (choice.standing || plan.existing.empty()) return CreateOutcome::kCancelled;
      proposal.defaultVolumes = count;
      if (choice.baseName) proposal.defaultBaseName = *choice.baseName;
      continue;
    }

    // What the person agreed to replace, and nothing else.
    if (!WriteVolumeSet(action, *analysis, base, count, plan.existing, plan.removed)) {
      ui_.Message(TR(kOperationAbortedText));
      return CreateOutcome::kRefused;
    }
    ui_.Succeeded(TR(kCreatedText));
    // The windows asked about the volumes removed; the command line says so.
    if (!plan.removed.empty() && choice.standing) ui_.Message(RemovedNote(plan));
    if (!plan.leftOver.empty()) ui_.Message(LeftOverNote(plan));
    return CreateOutcome::kCreated;
  }
}

void Engine::Protect(const std::string& root, const ProtectOptions& options,
                     const std::function<void(const FolderResult&)>& each) {
  // Depth first, each folder before the folders in it, in byte order of
  // their names; only the path of the folders above is kept, so memory does
  // not grow with the tree.
  std::vector<FolderEntry> entries;
  bool listed = false;
  FolderResult result;
  result.folder = root;
  {
    Action action(env_, ui_, *set_, *parity_, threads_, stop_);
    try {
      action.HoldFolder(root);
      entries = env_.List(root);
      listed = true;
      result = ProtectFolder(action, root, entries, options);
    } catch (const FileError& error) {
      // Nothing of the folder was put in place; the folders in it are
      // still protected when it could be listed.
      result = FolderResult{};
      result.folder = root;
      result.state = FolderState::kSkipped;
      result.unreadable = true;
      result.note = WithReason(error.what(), error.OsError());
    }
    set_->ResetTables();
  }
  each(result);
  if (!listed) return;
  std::vector<std::string> folders;
  for (const FolderEntry& e : entries) {
    if (e.kind != FileKind::kFolder) continue;  // a link to a folder is not entered
    if (e.name.starts_with('.') && !options.hidden) continue;
    folders.push_back(e.name);
  }
  entries.clear();
  std::sort(folders.begin(), folders.end());
  for (const std::string& name : folders) Protect(JoinPath(root, name), options, each);
}

CheckReport Engine::Check(const std::vector<std::string>& volumes) {
  Action action(env_, ui_, *set_, *parity_, threads_, stop_);
  return CheckSet(action, volumes);
}

RestoreOutcome Engine::Restore(bool askEachFile) {
  Action action(env_, ui_, *set_, *parity_, threads_, stop_);
  return RestoreAndShow(action, askEachFile, /*checkVolumesAgain=*/false);
}

RepairReport Engine::Repair(const std::vector<std::string>& volumes) {
  Action action(env_, ui_, *set_, *parity_, threads_, stop_);
  // The digests the check takes serve the check after the rebuild.
  action.RememberDigests();
  RepairReport repair;
  const CheckReport check = CheckSet(action, volumes);
  repair.outcome = check.outcome;
  if (check.outcome != CheckOutcome::kChecked) return repair;
  repair.result = RepairSet(action);
  repair.report = BuildReport(*set_);
  return repair;
}

SetReport Engine::CurrentReport() const { return BuildReport(*set_); }

bool Engine::IsVolume(const std::string& path) {
  const std::optional<VolumeHead> head = ReadHead(env_, path);
  return head && head->kind != VolumeKind::kNotVolume;
}

}  // namespace tarvel
