#include "cli/terminal_interaction.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "engine/format.h"

namespace tarvel::cli {

TerminalInteraction::TerminalInteraction(bool showProgress, bool includeSmallFiles,
                                         FoundAction found)
    : showProgress_(showProgress), includeSmallFiles_(includeSmallFiles), found_(found) {}

TerminalInteraction::~TerminalInteraction() { ClearLine(); }

void TerminalInteraction::ShowProgress() {
  visible_ = true;
  line_.Reset();
  Redraw();
}

void TerminalInteraction::HideProgress() {
  visible_ = false;
  ClearLine();
}

// Texts and percentages are drawn when the engine lets the display catch up
// (ProcessEvents), so a text and its percentage appear as one update.
void TerminalInteraction::SetProgressText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  dirty_ = true;
}

void TerminalInteraction::SetProgressPercent(int percent) {
  if (percent == percent_) return;
  percent_ = percent;
  dirty_ = true;
}

void TerminalInteraction::ProcessEvents() {
  if (dirty_) Redraw();
}

void TerminalInteraction::ClearProgressPercent() { SetProgressPercent(-1); }

void TerminalInteraction::Redraw() {
  dirty_ = false;
  if (!showProgress_ || !visible_) return;
  const double now =
      std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  struct winsize size {};
  const int width = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
  std::string line = "\r";
  line.append(line_.Format(PrintableText(text_), percent_, workOf_ ? workOf_(text_) : std::nullopt,
                           now, width));
  line.append("\033[K");
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  lineDrawn_ = true;
}

void TerminalInteraction::ClearLine() {
  if (!lineDrawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  lineDrawn_ = false;
}

bool TerminalInteraction::AskInclude(const std::string&, std::int64_t) {
  return includeSmallFiles_;
}

RenameReply TerminalInteraction::AskRename(const std::string&, const std::string&) {
  // The same answer holds for every match, so it is given as a standing one.
  // A copy that succeeds makes it standing, so the prompt comes back within
  // one search only after the copy failed: that ends the action.
  switch (found_) {
    case FoundAction::kRename:
      return {RenameButton::kRename, true};
    case FoundAction::kCopy:
      if (copyAnswered_) throw StandingAnswerFailed("the copy of a found file failed");
      copyAnswered_ = true;
      return {RenameButton::kCopy, true};
    case FoundAction::kLeave:
      break;
  }
  return {RenameButton::kCancel, true};
}

RestoreReply TerminalInteraction::AskRestore(const std::string&) {
  // The command line rebuilds every bad file without asking.
  return {RestoreButton::kYes, true};
}

void TerminalInteraction::Message(const std::string& text) {
  if (messageLog_ != nullptr) messageLog_->push_back(text);
  ClearLine();
  std::fprintf(stderr, "tarvel-cli: %s\n", PrintableText(text).c_str());
  std::fflush(stderr);
  Redraw();
}

}  // namespace tarvel::cli
