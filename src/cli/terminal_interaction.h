// The engine's Interaction for a terminal: messages go to standard error as
// "tarvel-cli: " + text, progress is one updating line on standard error
// (only when it is a terminal and not quiet), and the prompts are answered
// from the command line's options instead of asking.
#pragma once

#include <cstdint>
#include <string>

#include "engine/interaction.h"

namespace tarvel::cli {

// How a file found under another name with the right content is handled.
enum class FoundAction { kLeave, kRename, kCopy };

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
  void ResetRenamePrompt() override {}
  RenameReply AskRename(const std::string& found, const std::string& missing) override;
  void ResetRestorePrompt() override {}
  RestoreReply AskRestore(const std::string& name) override;

  void Message(const std::string& text) override;

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
};

}  // namespace tarvel::cli
