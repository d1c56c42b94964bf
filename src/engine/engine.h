// SPDX-License-Identifier: GPL-3.0-or-later
// The volume-set engine: the user actions of creating, checking, restoring
// and repairing a set, the same for every front end (the windows and the
// command line).  Each action runs from start to end inside one call, asks
// what it needs to know through the Interaction, and reaches files only
// through the Env.  One action at a time.
//
// The engine keeps, from one action to the next, only the set the last
// check read (a restore from the report works on it); everything an action
// needs while it runs (its worker threads, the digests it has taken, the
// folders it holds, the pacing of the windows' events) lives in an Action
// made by the call and gone when it returns (engine/set/action.h).
//
// File-layer failures are thrown as FileError with the text for the user,
// a stop request as ActionStopped; the front ends catch them at the top of
// each action.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/interaction.h"
#include "engine/report.h"
#include "platform/env.h"

namespace tarvel {

class ParityMatrix;
struct SetModel;

// What a create came to.
enum class CreateOutcome {
  kCreated,    // every volume is written and on disk; "Files successfully created." was shown
  kRefused,    // the files or the choice were refused (the reason and "Operation aborted!"
               // shown, or the engine's refusal); nothing written
  kNoRoom,     // "Not enough free disk space for this."; nothing written
  kCancelled,  // Parity Properties was cancelled ("Operation aborted!") or a question answered
               // no; nothing written
};

// How a create reads the files.
struct CreateOptions {
  // Every answer of the create stands before anything is read (the
  // command line's options) and nothing of the analysis is shown, so each
  // file is read once: the digests are taken by the pass that computes the
  // parity, and the file lists are written when it ends.  The volumes are
  // the same bytes either way.
  bool onePass = false;
};

// What a check came to.
enum class CheckOutcome {
  kChecked,     // the report was shown
  kUnreadable,  // no volume given could be read ("Error Reading lists. Operation aborted.")
};

// The state of the set a check or repair found.
enum class SetState {
  kAllOk,         // every listed file is intact
  kRepairable,    // a repair would mend every bad file (rebuilt or found under another name)
  kUnrepairable,  // some bad file cannot be mended
  kNotChecked,    // a file or volume of the set could not be read for a reason that is
                  // not damage (no permission, ...), so the set's state is not known
};

// What a request to restore came to.
enum class RestoreOutcome {
  kNothingToRestore,  // "No files to restore..." was shown
  kNotEnoughVolumes,  // "You do not have enough parity volumes. N parity volumes are needed."
  kUnsolvable,        // refused before anything was written (singular system, > 251 files)
  kRestored,          // the run happened (files the user declined stay as they were)
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

// A check: the set's state and the report shown (both only when checked).
struct CheckReport {
  CheckOutcome outcome = CheckOutcome::kUnreadable;
  SetState state = SetState::kAllOk;
  SetReport report;
};

// A repair: what it did, and the last report shown (only when checked).
struct RepairReport {
  CheckOutcome outcome = CheckOutcome::kUnreadable;
  RepairResult result = RepairResult::kUnchanged;
  SetReport report;
};

// How a protect makes and keeps the sets of a folder tree.
struct ProtectOptions {
  // Parity volumes per set as a share of its files (at least 1); 0: as many
  // as a create proposes for that many files.
  int percent = 0;
  bool hidden = false;       // hidden files are protected too
  bool dropMissing = false;  // a listed file that is gone is left out of the renewed sets
};

// What a protect found and did in one folder.
enum class FolderState {
  kProtected,  // it had no set; its sets are written
  kUpToDate,   // its sets list exactly its files, unchanged: only their lists were read
  kRenewed,    // files were added, edited or dropped: its sets are written anew
  kDamaged,    // a file differs from its set though its stamp did not move: nothing written
  kMissing,    // a listed file is gone (and not dropped): nothing written
  kSkipped,    // nothing to protect (fewer than 2 files), or it could not be read
};
struct FolderResult {
  std::string folder;  // as reached from the root given
  FolderState state = FolderState::kSkipped;
  int sets = 0;                                     // of the folder after the protect
  int files = 0;                                    // protected by them
  std::int64_t bytes = 0;                           // of those files
  std::vector<std::string> added, edited, dropped;  // bare names, renewed folders
  std::vector<std::string> damaged, missing;        // bare names
  std::string note;         // why it was skipped (the file layer's text for an unreadable folder)
  bool unreadable = false;  // skipped because the folder or a file could not be read
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
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // --- The user actions ---------------------------------------------------
  // Protecting the chosen files (full paths, any order): the choice is
  // checked, the files analysed (the include prompt), Parity Properties
  // asked, the questions before replacing volumes or writing them away from
  // the files asked, the set written and the success said.  The volumes of
  // the set being replaced beyond the new one's last are removed with it
  // (the command line says so); any other file of such a name is named.  A
  // question answered no by a person goes back to Parity Properties with
  // the choices kept.
  CreateOutcome Create(std::vector<std::string> paths, const CreateOptions& options = {});
  // Checking the set of the first of `volumes` (paths) that reads: the
  // volume is read, the files searched and verified, the volumes found, and
  // the report shown.  The files found under other names are offered as the
  // File search prompt answers.  A volume with an unreadable sector gives
  // way to another volume of its set.
  CheckReport Check(const std::vector<std::string>& volumes);
  // "Restore Files" of the report the last check showed: refused with its
  // messages when nothing is bad or the volumes are too few; otherwise the
  // bad files are rebuilt (asking per file when `askEachFile`, else all in
  // one pass), the files searched and verified again, and the new report
  // shown.  A stop keeps the files rebuilt so far and shows the set as it
  // now is.
  RestoreOutcome Restore(bool askEachFile);
  // Check of `volumes` and, when one of them reads, a repair of the set, as
  // one action: every bad file rebuilt without asking (but one changed after
  // the set was made, which only the front end may allow), the files and
  // volumes checked again, and the new report shown.  A file that the check
  // read and that is unchanged since is not read again after the rebuild.
  RepairReport Repair(const std::vector<std::string>& volumes);

  // Protecting every folder at or below `root` (folders reached through a
  // symbolic link are not entered): each folder's plain files, but volumes,
  // temporary files, empty files and (unless `options.hidden`) hidden
  // files, in sets of at most 250 named after the folder; a folder whose
  // sets are up to date is only read for their lists; new or edited files
  // renew its sets, all of them in one commit, but damage or a missing file
  // never does.  `each` is told of every folder as it is done.  A stop ends
  // it with ActionStopped, the folder being written left as it was.
  void Protect(const std::string& root, const ProtectOptions& options,
               const std::function<void(const FolderResult&)>& each);

  // The report of the set as the engine has it now: that of the last check,
  // with what the actions since did.  For a front end that describes the
  // set after an action that ended with an error half-way.
  [[nodiscard]] SetReport CurrentReport() const;

  // True when the file at `path` starts like a volume (of any version): a
  // file dropped on a window is then checked, not protected.
  [[nodiscard]] bool IsVolume(const std::string& path);

  // --- Stopping -----------------------------------------------------------
  // Asks the action that runs to stop; it ends with ActionStopped at its
  // next chunk, never more than about 100 ms later, whatever the file sizes.
  // Safe to call from any thread and from a signal handler.  The request
  // stands (every later action stops at once) until ClearStop.
  void RequestStop() { stop_.store(true); }
  void ClearStop() { stop_.store(false); }
  [[nodiscard]] bool StopRequested() const { return stop_.load(); }

  // --- Threads ------------------------------------------------------------
  // Threads that read, hash and write files and volumes: 0 = one per online
  // CPU (the default), 1 = the calling thread alone.  Worker threads only
  // read and compute; every prompt, message and progress record comes from
  // the calling thread, in the same order whatever the count.
  void SetThreads(int threads) { threads_ = threads; }
  [[nodiscard]] int Threads() const { return threads_; }

 private:
  Env& env_;
  Interaction& ui_;
  // The set the last check read, for a restore from its report.
  std::unique_ptr<SetModel> set_;
  // The parity arithmetic's tables and blocks, made once.
  std::unique_ptr<ParityMatrix> parity_;
  int threads_ = 0;
  std::atomic<bool> stop_{false};
};

}  // namespace tarvel
