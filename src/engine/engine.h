// The volume-set engine: creating, checking and restoring a set.  It owns
// the set model and the parity arithmetic, reaches files only through an Env
// and people only through an Interaction.  Both front ends (the windows and
// the command line) run each user action through one call below (Create,
// Check, Restore, Repair), which asks what it needs to know through the
// Interaction; the steps those actions are made of are public too, for
// tests and benchmarks.  One action at a time; the model is consistent only
// between actions.
//
// Each action holds the folders it works in for its whole duration
// (Env::HoldFolder): the set folder of a check, restore or repair from when
// it is known, the files' folder and the volumes' folder of a create.  A
// folder renamed meanwhile does not move the action, and a folder however
// deep is walked once.
//
// File-layer failures are thrown as FileError with the text for the user,
// a stop request as ActionStopped; the front ends catch them at the top of
// each action.
//
// THIS HEADER IS A CONTRACT SHARED BY THE FRONT ENDS: add, do not rename.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/file_action.h"
#include "engine/interaction.h"
#include "engine/set/model.h"
#include "parity/rs.h"
#include "platform/env.h"

namespace tarvel {

class DigestMemo;
class WorkerPool;

// What a request to restore came to.
enum class RestoreOutcome {
  kNothingToRestore,  // "No files to restore..." was shown
  kNotEnoughVolumes,  // "You do not have enough parity volumes. N parity volumes are needed."
  kUnsolvable,        // refused before anything was written (singular system, > 251 files)
  kRestored,          // the run happened (files the user declined stay as they were)
};

// What a create came to.
enum class CreateOutcome {
  kCreated,    // every volume is written and on disk; "Files successfully created." was shown
  kRefused,    // the files or the choice were refused (the reason and "Operation aborted!"
               // shown, or the engine's refusal); nothing written
  kNoRoom,     // "Not enough free disk space for this."; nothing written
  kCancelled,  // Parity Properties was cancelled ("Operation aborted!") or a question answered
               // no; nothing written
};

// What a check came to.
enum class CheckOutcome {
  kChecked,     // the report was shown
  kUnreadable,  // no volume given could be read ("Error Reading lists. Operation aborted.")
};

// The state of the set the last check or repair found.
enum class SetState {
  kAllOk,         // every listed file is intact
  kRepairable,    // a repair would mend every bad file (rebuilt or found under another name)
  kUnrepairable,  // some bad file cannot be mended
  kNotChecked,    // a file or volume of the set could not be read for a reason that is
                  // not damage (no permission, ...), so the set's state is not known
};

// What a repair came to.
enum class RepairResult {
  kAllOk,      // every listed file is intact now
  kStillBad,   // files were mended or placed, but a listed file is still bad
  kUnchanged,  // nothing could be mended; nothing was changed
  // Every listed file is intact but those left as they were because they
  // changed after the set was made.
  kDiffers,
  kNotChecked,  // a file or volume could not be read for a reason that is not damage
};

// Thrown when a stop request ends an action.  Everything is then as it was,
// or as a finished step left it, and no temporary file is left.
class ActionStopped : public std::runtime_error {
 public:
  ActionStopped() : std::runtime_error("stopped") {}
};

// Thrown when an action ends on a failure whose message has been shown
// already (a copy refused under an answer that cannot change).
class ReportedFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Engine {
 public:
  Engine(Env& env, Interaction& ui);
  ~Engine();

  const SetModel& Model() const { return model_; }
  // The model to build a set by hand, for tests; front ends only read it.
  SetModel& EditModel() { return model_; }

  // Threads that read, hash and write files and volumes: 0 = one per online
  // CPU, 1 = the calling thread alone.  Worker threads only read and compute; every
  // prompt, message and progress record comes from the calling thread, in the
  // same order whatever the count.  A new engine starts with DefaultThreads().
  void SetThreads(int threads) { threads_ = threads; }
  [[nodiscard]] int Threads() const { return threads_; }
  // The count engines made from now on start with (0 until changed).
  static void SetDefaultThreads(int threads);
  [[nodiscard]] static int DefaultThreads();

  // --- Stopping -----------------------------------------------------------
  // Asks the action that runs to stop; it ends with ActionStopped at its
  // next chunk, never more than about 100 ms later, whatever the file sizes.
  // Safe to call from any thread and from a signal handler.  The request
  // stands (every later action stops at once) until ClearStop.
  void RequestStop() { stop_.store(true); }
  void ClearStop() { stop_.store(false); }
  [[nodiscard]] bool StopRequested() const { return stop_.load(); }

  // --- The user actions ---------------------------------------------------
  // Protecting the chosen files (full paths, any order): the choice is
  // checked, the files analysed (the include prompt), Parity Properties
  // asked, the questions before replacing volumes or writing them away from
  // the files asked, the set written and the success said; volumes of an
  // earlier set beyond the new one's last are named.
  CreateOutcome Create(std::vector<std::string> paths);
  // Checking the set of the first of `volumes` (paths) that reads: the
  // volume is read, the files searched and verified, the volumes found, and
  // the report shown.  The files found under other names are offered as the
  // File search prompt answers.
  CheckOutcome Check(const std::vector<std::string>& volumes);
  // "Restore Files" of the report shown: refused with its messages when
  // nothing is bad or the volumes are too few; otherwise the bad files are
  // rebuilt (asking per file when `askEachFile`, else all in one pass), the
  // files searched and verified again (and the volumes checked again when
  // `checkVolumesAgain`), and the new report shown.  A stop keeps the files
  // rebuilt so far and updates the model to the set as it now is.
  RestoreOutcome Restore(bool askEachFile, bool checkVolumesAgain);
  // After a check: whether the set is intact, and if not, whether a repair
  // (rebuilding, putting files found under other names in place, reverting
  // files changed after the set was made) would mend every bad file.
  [[nodiscard]] SetState Assess();
  // After a check: rebuilds every bad file without asking, checks the files
  // and volumes again and shows the new report.
  RepairResult Repair();
  // Check of `volumes` and, when one of them reads, Repair, as one action:
  // a file that the check read and that is unchanged since (the same
  // identity, size and change time) is not read again by the check after
  // the rebuild.  `checked` is set once the check has shown its report
  // (the repair may still throw).  Nothing when no volume reads.
  std::optional<RepairResult> CheckAndRepair(const std::vector<std::string>& volumes,
                                             bool& checked);
  // What the analysis found, proposed as Parity Properties shows it.
  [[nodiscard]] SetProposal Proposal();

  // True when the file at `path` starts like a volume (of any version): a
  // file dropped on a window is then checked, not protected.
  [[nodiscard]] bool IsVolume(const std::string& path);
  // True when `path` names a regular file or a link to one.
  [[nodiscard]] bool IsPlainFile(const std::string& path);

  // --- Creating -----------------------------------------------------------
  // Paths in set order (the caller sorts them byte-wise).  Reads each file
  // once for both digests; the size listed is the number of bytes digested.
  // False when a name holds a backslash or control character, which a file
  // list cannot hold (refused before anything is read), when a file is empty
  // (its message shown) or when no file ended up in parity (a message is
  // shown, nothing written).  A file that changed while it was read (it
  // grew, shrank or was written to) throws FileError with FileChangedText.
  [[nodiscard]] bool AnalyseFiles(const std::vector<std::string>& paths);
  // The analysis of a create whose answers stand (Interaction::AnswersStand):
  // the same refusals, prompts and totals as AnalyseFiles, from each file's
  // size as the file system tells it, without reading any file.  The
  // digests are left to WriteVolumeSet, whose parity pass takes them; it
  // then fails with FileChangedText for a file that is not exactly the one
  // sized here.
  [[nodiscard]] bool AnalyseNamesAndSizes(const std::vector<std::string>& paths);
  // Writes volumes 0..parityCount under VolumeFileName(baseName, n): each
  // under a hidden temporary name first, all put in place together only
  // when every one is complete and flushed (CommitTogether), so a failure
  // leaves the earlier volumes of those names as they were, all of them.
  // Refuses (with a message, nothing written) a volume name that is one of
  // the files being protected, by device and inode.  The parity pass takes
  // each source's digests from the bytes it reads: a file that is no longer
  // the one analysed (other content, size, change time, device or inode)
  // throws FileError with FileChangedText and nothing is put in place.
  // After AnalyseNamesAndSizes the digests of the list are those the parity
  // pass took (the files not in parity are read first), and the headers and
  // lists are written when the pass ends, the parity volumes read back for
  // their control digests: the volumes are the same, byte for byte.
  // Throws FileError on any failed open/create/read/write/rename/flush;
  // returns true only when every volume is complete and on disk.
  // The volumes of those names that exist when it starts are replaced.
  [[nodiscard]] bool WriteVolumeSet(const std::string& baseName, int parityCount);
  // The same, replacing only the volumes named in `mayReplace` (the names
  // that existed when the person was asked, or -f was given): every other
  // name is claimed only if it is still free when the volumes are put in
  // place.  One taken by then (another program created it meanwhile) shows
  // CreatedMeanwhileText and returns false; nothing of this create is left,
  // and what the other program put there stays.
  [[nodiscard]] bool WriteVolumeSet(const std::string& baseName, int parityCount,
                                    const std::vector<std::string>& mayReplace);

  // --- Checking -----------------------------------------------------------
  // The folder in which the set's files and volumes are looked for.
  void SetSetFolder(const std::string& folder) { setFolder_ = folder; }
  const std::string& SetFolder() const { return setFolder_; }

  // ResetTables + ReadVolume of `volumePath`; on success the set folder
  // becomes the volume's folder (held for the rest of the action), and
  // temporary files abandoned there by a process that was killed are
  // removed.  False after the reader's own message.
  [[nodiscard]] bool ReadVolume(const std::string& volumePath);
  // Sets present and crcok of every file (a file that is not present is
  // never intact), offering files found by content under other names.  A
  // file is looked up by its listed name even when that starts with "."; the
  // content search takes only visible regular files (no symbolic links) and
  // never one it has already put in place under another name.
  void SearchFiles();
  // True when the last search found file i (a FileTable slot) by its content
  // under another name, whatever was then done with that file.
  [[nodiscard]] bool FoundUnderOtherName(int i) const;
  // How many files the last search renamed or copied into place.
  [[nodiscard]] int PlacedBySearch() const { return placedBySearch_; }
  // Fills VolumeTable from the set folder and verifies every volume found.
  // Each volume is read at the data offset of its own header.  Of several
  // files with one volume number a usable one is chosen over an unusable
  // one, a regular file over a symbolic link, and otherwise the first name
  // in byte order.
  void FindVolumes();
  // The report lines; sets BadFileCount, CrcOnlyBadCount and
  // UsableVolumeCount.  "All files OK." only when every listed file is OK.
  void BuildReport(std::vector<std::string>& lines);
  // What the report lines do not say: why a file or volume that could not
  // be read is reported as it is ("f2.bin: a read failed at byte 1500000
  // (Input/output error)"), which damaged files changed after the set was
  // made, which listed names hold volumes of the set.  In set order.
  [[nodiscard]] std::vector<std::string> ReportNotes() const;

  // --- Restoring ----------------------------------------------------------
  // The "Restore Files" action of the report: refuses with its messages when
  // nothing is bad, volumes are too few, or no choice of the usable volumes
  // 1..128 solves the recovery (nothing is created or changed then);
  // otherwise rebuilds.  Each rebuilt file is written to a hidden temporary
  // file of the set folder and renamed over its name only when complete and
  // of the listed size and digests; one that is not is dropped with a
  // message and its file left as it was.  A FileError leaves the file being
  // rebuilt exactly as it was.  With askEachFile the Restore prompt is shown
  // per file and each confirmed file is rebuilt with its own pass (the
  // window); without it every bad file is rebuilt without asking in one pass
  // over the sources (the command line).
  // It does not search again: callers run SearchFiles and BuildReport after
  // kRestored.
  RestoreOutcome RestoreFromReport(bool askEachFile);
  // What RestoreFromReport would come to, without showing anything or
  // touching any file (kRestored: a restore would run).
  [[nodiscard]] RestoreOutcome PlanRestore();
  // What a repair would come to once the files that the last search found
  // under other names were put in place: kNothingToRestore when that alone
  // mends every bad file in parity.  Shows nothing, touches no file, and
  // leaves the model as the last report left it.
  [[nodiscard]] RestoreOutcome PlanRepair();

  // What the searches and restores since the last ReadVolume did to the
  // files of the set, in order.
  const FileActionLog& Actions() const { return actions_; }

 private:
  class ActionScope;

  // Rename and copy of a file found by content (File search prompt), both
  // within the set folder; true when the missing file is now in place, on
  // disk.  A found file that this set or any other set in the folder lists
  // is copied, never renamed, so that no set loses a file in turn.  A
  // refused rename shows "Rename failed!" with the system's reason; a copy
  // goes through a temporary file, is put in place only when it has the
  // listed size and digests of the missing file (otherwise a message, and
  // nothing changes) and throws FileError when it fails.
  bool rnfile(const std::string& found, const std::string& missing);
  bool cpfile(const std::string& found, const std::string& missing);

  // When the file at `path` is a volume of the set read (its header is
  // that of a volume with the set digest), its volume number.
  std::optional<int> VolumeOfThisSet(const std::string& path);
  // Whether the rebuild may put a new file in place of the file of
  // ParityFileTable slot k: never over a file that was not checked or
  // that holds a volume of the set.
  [[nodiscard]] bool MayReplace(const fileentry& e) const;

  // Throws ActionStopped when a stop was requested.
  void StopPoint() const;
  // Progress for the front end, and its pending events at most every
  // kEventIntervalMs; a stop point too.
  void Report(const ProgressRecord& record);
  void PaceEvents();
  // Between records, while a pass runs: a stop point and PaceEvents.
  void KeepResponsive();
  // The worker pool of the action that runs, made by its first pass with
  // no more threads than that pass has pieces of work (`work`).
  WorkerPool& Pool(std::size_t work);
  // The digests taken in the action that runs (see digest_memo.h).
  DigestMemo* Memo() { return memo_.get(); }
  // Holds `folder` (Env::HoldFolder) until the action that runs ends, so
  // that the action stays in the folder it started in, however deep, if the
  // folder is renamed meanwhile.  Outside an action (a step called on its
  // own) nothing is held.
  void HoldFolder(const std::string& folder);
  // The report of the model, shown.
  void ShowReport();
  // What the model says beyond the counts of the report.
  struct SetHealth {
    bool notChecked = false;      // a file or volume could not be read, not for damage
    bool holdsVolume = false;     // a listed name holds a volume of the set
    bool onlyChangedBad = false;  // every file not intact changed after the set was made
  };
  [[nodiscard]] SetHealth Health() const;

  // The steps both analyses of a create share: the choice refused or the
  // model started; slot i named after `path`; slot i given its size (the
  // empty-file message, the small-file rule, the totals); the end.
  [[nodiscard]] bool BeginAnalysis(const std::vector<std::string>& paths);
  void EnterFile(std::size_t i, const std::string& path);
  void SizeFile(std::size_t i, std::int64_t size, const FileStamp& stamp, bool& result,
                bool& anyInParity);
  [[nodiscard]] bool EndAnalysis(bool result, bool anyInParity);

  class RestoreSources;
  class SetWriter;
  class VolumeSearch;

  // The path of a bare name of the set folder.
  std::string InSetFolder(const std::string& name) const;
  // Offers one file found by content through the File search prompt and
  // carries out the answer (given now or remembered).
  enum class OfferOutcome { kPlaced, kLeft, kFailed };
  OfferOutcome OfferFoundFile(const std::string& found, const std::string& missing);
  // True when a volume of any set in the set folder lists `name` (learnt
  // once per search, when first asked).
  bool ListedBySomeSet(const std::string& name);
  // The FileTable entry listed under `name`, or null.
  const fileentry* ListedFile(const std::string& name) const;
  // Compacts, marks the usable volumes 1..128 and solves the recovery system.
  RestoreOutcome PrepareRestore();
  // The files in parity that the recovery must solve for: every one not
  // intact, rebuilt or not.
  [[nodiscard]] int RecoveryUnknowns() const;
  // Rebuilds the missing files MissingFiles[i] for the given indices i in one
  // pass over the sources, each through a temporary file renamed into place.
  void RebuildFiles(const std::vector<int>& missingIndices, RestoreSources& sources);

  Env& env_;
  Interaction& ui_;
  SetModel model_;
  ParityMatrix parity_;
  std::string setFolder_;
  std::string volumeRead_;                    // the bare name of the volume the set was read from
  std::vector<std::uint8_t> foundElsewhere_;  // by FileTable slot, from the last search
  int placedBySearch_ = 0;
  std::optional<std::set<std::string>> namesOfSets_;  // see ListedBySomeSet
  FileActionLog actions_;
  int threads_;
  // The stamp of each FileTable file as the analysis read it: creating
  // fails if a file is not exactly that file when the volumes are written.
  std::vector<FileStamp> listedStamps_;
  // AnalyseNamesAndSizes listed the files without their digests, which
  // WriteVolumeSet then takes in its parity pass.
  bool digestsPending_ = false;
  std::atomic<bool> stop_{false};
  std::unique_ptr<WorkerPool> pool_;  // while an action runs
  std::unique_ptr<DigestMemo> memo_;  // while an action runs
  // The folders the action that runs holds, by the spelling held.
  std::vector<std::pair<std::string, std::unique_ptr<FolderHold>>> holds_;
  int actionDepth_ = 0;
  std::int64_t lastEventsMs_ = 0;  // when the front end last ran its events
};

// The text of a message box that shows a file-layer error: the error's own
// text, with a full stop added when it does not end in one.
std::string ErrorBoxText(const std::string& errorText);

}  // namespace tarvel
