// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's Interaction for a terminal: messages go to standard error as
// "tarvel-cli: " + text, the success of a create and the reports to
// standard output, progress is one updating line on standard error (only
// when it is a terminal and not quiet; see progress_line.h), and every
// prompt and question is answered from the command line's options, as a
// standing answer, instead of asking.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/progress_line.h"
#include "engine/interaction.h"

namespace tarvel::cli {

// How a file found under another name with the right content is handled.
enum class FoundAction { kLeave, kRename, kCopy };

// The answers the options give.
struct StandingAnswers {
  bool includeSmallFiles = false;  // --small parity
  FoundAction found = FoundAction::kLeave;
  std::optional<int> parityCount;   // -n
  std::optional<std::string> base;  // -o, made absolute
  bool replaceVolumes = false;      // -f
  bool revertChanged = false;       // repair --revert-changed
  bool json = false;                // --json: reports go into the document, not to the output
};

class TerminalInteraction : public Interaction {
 public:
  TerminalInteraction(bool showProgress, StandingAnswers answers);
  ~TerminalInteraction() override;

  // A record shows the line (when it is hidden) and updates it.
  void Progress(const ProgressRecord& record) override;
  void HideProgress() override;
  void ProcessEvents() override;

  bool AskInclude(const std::string& name, std::int64_t size) override;
  SetChoice AskSetProperties(const SetProposal& proposal) override;
  bool Confirm(const Question& question) override;
  RenameReply AskRename(const RenamePrompt& prompt) override;
  // Yes, but for a file changed after the set was made without
  // --revert-changed: that one is left as it is, and a message says so.
  RestoreReply AskRestore(const RestorePrompt& prompt) override;

  // The lines on standard output (through WriteOut), the notes on
  // standard error as messages are.
  void ShowReport(const SetReport& report) override;
  void Message(const std::string& text) override;
  void Succeeded(const std::string& text) override;

  void SetAnswers(StandingAnswers answers) { answers_ = std::move(answers); }
  // True when the progress line is drawn (a terminal, without -q).
  [[nodiscard]] bool ShowsProgress() const { return showProgress_; }

  // While set, every message is also appended to `log` (for --json).
  void SetMessageLog(std::vector<std::string>* log) { messageLog_ = log; }
  // A protect of `total` bytes: the line's figures become those of the
  // whole, of which `done` bytes are done before the set being written.
  // The bytes the sets of one folder read are added up until the next call.
  void SetOverall(std::int64_t done, std::int64_t total) {
    overallDone_ = done;
    overallTotal_ = total;
    folderDone_ = lastStepDone_ = 0;
  }

  // A new set begins: its first report follows no other.
  void StartSet() { reportsShown_ = 0; }
  // Reports shown since the set began: once one is, the check of the set
  // has run to its end.
  [[nodiscard]] int ReportsShown() const { return reportsShown_; }

 private:
  void Redraw();
  void ClearLine();

  bool showProgress_;
  StandingAnswers answers_;
  bool visible_ = false;
  bool lineDrawn_ = false;
  bool dirty_ = false;
  ProgressRecord record_;
  bool haveRecord_ = false;
  int reportsShown_ = 0;
  std::vector<std::string>* messageLog_ = nullptr;
  ProgressLine line_;
  std::int64_t overallDone_ = 0, overallTotal_ = 0;
  std::int64_t folderDone_ = 0;    // by the sets of the folder written before this one
  std::int64_t lastStepDone_ = 0;  // of the parity pass of the set being written
};

}  // namespace tarvel::cli
