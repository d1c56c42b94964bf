// The engine's Interaction for a terminal: messages go to standard error as
// "tarvel-cli: " + text, progress is one updating line on standard error
// (only when it is a terminal and not quiet; see progress_line.h), and the
// prompts are answered from the command line's options instead of asking.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/progress_line.h"
#include "engine/interaction.h"

namespace tarvel::cli {

// How a file found under another name with the right content is handled.
enum class FoundAction { kLeave, kRename, kCopy };

// Ends the current action when an answer given on the command line cannot
// be carried out: a copy of a found file that failed (its error has been
// shown already).  A window would ask again; the command line's answer
// cannot change, so asking again would only repeat the failure forever.
class StandingAnswerFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TerminalInteraction : public Interaction {
 public:
  TerminalInteraction(bool showProgress, bool includeSmallFiles, FoundAction found);
  ~TerminalInteraction() override;

  void ShowProgress() override;
  void HideProgress() override;
  void SetProgressText(const std::string& text) override;
  void SetProgressPercent(int percent) override;
  void ClearProgressPercent() override;
  void ProcessEvents() override;

  bool AskInclude(const std::string& name, std::int64_t size) override;
  void ResetRenamePrompt() override { copyAnswered_ = false; }
  RenameReply AskRename(const std::string& found, const std::string& missing) override;
  void ResetRestorePrompt() override {}
  RestoreReply AskRestore(const std::string& name) override;

  void Message(const std::string& text) override;

  // While set, every message is also appended to `log` (for --json).
  void SetMessageLog(std::vector<std::string>* log) { messageLog_ = log; }

  // Tells the progress line how much work a progress text stands for.
  using WorkLookup = std::function<std::optional<StepWork>(const std::string& text)>;
  void SetWorkLookup(WorkLookup lookup) { workOf_ = std::move(lookup); }

 private:
  void Redraw();
  void ClearLine();

  bool showProgress_;
  bool includeSmallFiles_;
  FoundAction found_;
  bool visible_ = false;
  bool lineDrawn_ = false;
  bool dirty_ = false;
  std::string text_;
  int percent_ = -1;
  bool copyAnswered_ = false;  // "copy" was answered in the current search
  std::vector<std::string>* messageLog_ = nullptr;
  ProgressLine line_;
  WorkLookup workOf_;
};

}  // namespace tarvel::cli
