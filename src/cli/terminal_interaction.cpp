// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_interaction.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "cli/output.h"
#include "engine/format/format.h"
#include "platform/interrupt_cleanup.h"
#include "platform/language.h"

namespace tarvel::cli {

TerminalInteraction::TerminalInteraction(bool showProgress, StandingAnswers answers)
    : showProgress_(showProgress), answers_(std::move(answers)) {}

TerminalInteraction::~TerminalInteraction() { ClearLine(); }

void TerminalInteraction::HideProgress() {
  visible_ = false;
  ClearLine();
}

// A new step or item is drawn at once; the figures of one item when the
// engine lets the display catch up (ProcessEvents), every few milliseconds.
void TerminalInteraction::Progress(const ProgressRecord& record) {
  if (!visible_) {
    visible_ = true;
    line_.Reset();
    haveRecord_ = false;
  }
  const bool newItem = !haveRecord_ || record.step != record_.step || record.item != record_.item ||
                       record.name != record_.name || record.percent != record_.percent;
  if (record.step == ProgressStep::kWritingParity) {
    // A pass that starts again from nothing is the next set's.
    if (record.stepDone < lastStepDone_) folderDone_ += lastStepDone_;
    lastStepDone_ = record.stepDone;
  }
  record_ = record;
  haveRecord_ = true;
  dirty_ = true;
  if (newItem) Redraw();
}

void TerminalInteraction::ProcessEvents() {
  if (dirty_) Redraw();
}

void TerminalInteraction::Redraw() {
  dirty_ = false;
  if (!showProgress_ || !visible_ || !haveRecord_) return;
  const double now =
      std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  struct winsize size {};
  const int width = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
  std::string line = "\r";
  if (overallTotal_ > 0) {
    ProgressRecord overall;
    overall.step = ProgressStep::kWritingParity;
    overall.stepTotal = overallTotal_;
    overall.stepDone = std::min(overallTotal_, overallDone_ + folderDone_ + lastStepDone_);
    line.append(line_.Format(record_, now, width, &overall));
  } else {
    line.append(line_.Format(record_, now, width));
  }
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
  return answers_.includeSmallFiles;
}

SetChoice TerminalInteraction::AskSetProperties(const SetProposal& proposal) {
  return {true, answers_.parityCount.value_or(proposal.defaultVolumes), answers_.base,
          /*standing=*/true};
}

bool TerminalInteraction::Confirm(const Question& question) {
  bool yes = true;
  switch (question.kind) {
    case QuestionKind::kVolumesAway:
      yes = true;
      break;
    case QuestionKind::kReplaceVolumes:
      yes = answers_.replaceVolumes;
      break;
  }
  const std::string& note = yes ? question.ifYes : question.ifNo;
  if (!note.empty()) Message(note);
  return yes;
}

RenameReply TerminalInteraction::AskRename(const RenamePrompt&) {
  // The same answer holds for every match.
  switch (answers_.found) {
    case FoundAction::kRename:
      return {RenameButton::kRename, true, true};
    case FoundAction::kCopy:
      return {RenameButton::kCopy, true, true};
    case FoundAction::kLeave:
      break;
  }
  return {RenameButton::kCancel, true, true};
}

RestoreReply TerminalInteraction::AskRestore(const RestorePrompt& prompt) {
  // The command line rebuilds every bad file without asking, but a person's
  // newer work only when told to.
  if (prompt.changedAfterSet && !answers_.revertChanged) {
    Message(
        TrFill("%s changed after the set was made, so it was left as it is; "
               "--revert-changed puts back the content the set lists.",
               {prompt.name}));
    return {RestoreButton::kNo, false};
  }
  return {RestoreButton::kYes, true};
}

void TerminalInteraction::ShowReport(const SetReport& report) {
  // Nothing more is reported once the program has been asked to stop.
  if (StopSignal() != 0) return;
  // The report after a repair follows the one before it after an empty line.
  const bool first = reportsShown_++ == 0;
  if (answers_.json) return;  // the document tells
  std::string text = first ? "" : "\n";
  for (const ReportLine& line : ReportLines(report)) text += PrintableText(line.text) + "\n";
  WriteOut(text);
  for (const std::string& note : ReportNotes(report)) Message(note);
}

void TerminalInteraction::Message(const std::string& text) {
  if (messageLog_ != nullptr) messageLog_->push_back(text);
  ClearLine();
  std::fprintf(stderr, "tarvel-cli: %s\n", PrintableText(text).c_str());
  std::fflush(stderr);
  Redraw();
}

void TerminalInteraction::Succeeded(const std::string& text) {
  ClearLine();
  WriteOut(text + "\n");
}

}  // namespace tarvel::cli
