// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's only way to talk to a person: the progress window, the
// prompts and questions, the report and message boxes.  The Qt windows, the
// command line and the tests each implement it; the engine runs every user
// action from start to end and asks what it needs to know through it.  What
// an answer means (the answers that stand for the rest of a search or a
// restore, a standing answer of the command line) is decided by the engine,
// not here.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/progress.h"
#include "engine/report.h"

namespace tarvel {

// The File search prompt: a missing file found by content under another name.
struct RenamePrompt {
  std::string found;    // the name the content was found under
  std::string missing;  // the name the set lists
  // Asked again for the same pair, after a copy that failed: "don't ask
  // again for this set" stays as the person left it.  Otherwise a prompt
  // starts with it unticked.
  bool again = false;
};
enum class RenameButton { kRename, kCopy, kCancel, kClosed };
struct RenameReply {
  RenameButton button = RenameButton::kClosed;
  bool dontAskAgain = false;  // state of "don't ask again for this set"
  // An answer given once for every case (the command line's options): it
  // cannot change, so a copy that fails ends the action instead of asking
  // again.
  bool standing = false;
};

// The file the Restore prompt asks about ("Restore " + name + " ?"); the
// prompt starts with "don't ask again for this set" unticked.
struct RestorePrompt {
  std::string name;
  bool missing = false;  // no file of its name is there; otherwise a damaged one is replaced
  // The damaged file was changed after the set was made (probably on
  // purpose): restoring puts back the older content the set lists.
  bool changedAfterSet = false;
};
enum class RestoreButton { kYes, kNo, kClosed };
struct RestoreReply {
  RestoreButton button = RestoreButton::kClosed;
  bool dontAskAgain = false;
};

// What a create proposes once the chosen files are analysed (Parity
// Properties): what the analysis found, the defaults, and the test of a
// choice.
struct SetProposal {
  int fileCount = 0;
  std::int64_t biggestFileSize = 0;  // of the files in parity
  std::int64_t totalSize = 0;        // of the files in parity
  int fewestVolumes = 1;
  int mostVolumes = 1;
  int defaultVolumes = 1;
  // The first file's name without its extension, for the volumes' base name.
  std::string defaultBaseName;
  // Why volumes with this count and base name cannot be written (their
  // names would be hidden, their folder has no room), or "" when they can.
  std::function<std::string(int parityCount, const std::string& baseName)> refusal;
};

struct SetChoice {
  bool accepted = false;  // false: the create is cancelled
  int parityCount = 1;
  // A path without extension; nothing: the default base name in the folder
  // of the files.
  std::optional<std::string> baseName;
  // An answer given once for every case (the command line's options): a
  // question answered no after it ends the create instead of asking again.
  bool standing = false;
};

// A question the engine asks before it writes.  `text` is asked of a
// person; a front end that answers without asking (a standing answer) says
// `ifYes` or `ifNo` instead, whichever it answered, when it is not empty.
enum class QuestionKind {
  kVolumesAway,     // the volumes go to another folder than the files
  kReplaceVolumes,  // volumes of the base name exist already
};
struct Question {
  QuestionKind kind;
  std::string text;
  std::string ifYes;
  std::string ifNo;
};

// What a front end says of an action that ended because the person
// stopped it, whichever action it was and wherever it stopped (Cancel of
// Parity Properties, of the progress window, Escape).
inline constexpr char kOperationAbortedText[] = "Operation aborted!";

// The text of a message box that shows a file-layer error: the error's own
// text, with a full stop added when it does not end in one.
std::string ErrorBoxText(const std::string& errorText);

class Interaction {
 public:
  virtual ~Interaction() = default;

  // Progress window.  Progress comes whenever there is something new and
  // shows the window when it is hidden; it is cheap, and a front end may
  // draw it when ProcessEvents comes.  HideProgress when a step has ended.
  virtual void Progress(const ProgressRecord& record) = 0;
  virtual void HideProgress() = 0;
  // Repaint and run pending events; the engine calls it about every
  // kEventIntervalMs while an action runs, never more often.
  virtual void ProcessEvents() = 0;

  // Include this?  true only for "Include in parity".
  virtual bool AskInclude(const std::string& name, std::int64_t size) = 0;

  // Parity Properties: the number of volumes and their base name.  A choice
  // that `proposal.refusal` refuses is refused again after the answer.
  virtual SetChoice AskSetProperties(const SetProposal& proposal) = 0;

  // A question before anything is written; true for yes.
  virtual bool Confirm(const Question& question) = 0;

  // File search: the file with the same content and the missing file's name.
  virtual RenameReply AskRename(const RenamePrompt& prompt) = 0;

  // Restore.  A file changed after the set was made is asked about even
  // when the answer for the set stands.
  virtual RestoreReply AskRestore(const RestorePrompt& prompt) = 0;

  // The report of a set after a check, and again after a restore: its
  // lines (ReportLines), and below them its notes (ReportNotes).
  virtual void ShowReport(const SetReport& report) = 0;

  // A message box titled "Tarvel" with one OK button.
  virtual void Message(const std::string& text) = 0;
  // The message that an action succeeded ("Files successfully created.").
  virtual void Succeeded(const std::string& text) = 0;
};

}  // namespace tarvel
