// SPDX-License-Identifier: GPL-3.0-or-later
// An Interaction for tests: answers prompts and questions from scripted
// queues and records every message, progress record, prompt, question and
// report it was shown.  Progress texts and percentages are recorded as a
// window shows them: a text when it changes, a percentage when it or the
// text changes.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "engine/interaction.h"

namespace tarvel::testing {

class ScriptedInteraction : public Interaction {
 public:
  // Scripted answers; when a prompt's queue is empty the prompt is
  // "closed", Parity Properties is accepted with its defaults and a
  // question is answered yes.
  std::deque<bool> includeAnswers;
  std::deque<RenameReply> renameReplies;
  std::deque<RestoreReply> restoreReplies;
  std::deque<SetChoice> setChoices;
  std::deque<bool> confirmAnswers;
  // The Restore prompt of a file changed after the set was made is answered
  // No, without taking an answer from the queue.
  bool declineChanged = false;

  // What was shown.
  std::vector<std::string> messages;
  std::vector<std::string> successes;
  std::vector<ProgressRecord> records;
  std::vector<std::string> progressTexts;
  std::vector<int> percents;
  std::vector<std::string> includePrompts;  // "name size"
  std::vector<std::string> renamePrompts;   // "found -> missing"
  std::vector<std::string> restorePrompts;  // names
  std::vector<RestorePrompt> restoreAsked;  // the whole prompts
  std::vector<std::string> questions;
  std::vector<SetReport> setReports;
  std::vector<std::vector<std::string>> reports;  // the lines of each report
  std::vector<std::vector<std::string>> notes;    // the notes of each report
  SetProposal lastProposal;
  int proposals = 0;
  int processed = 0;  // ProcessEvents calls
  bool progressVisible = false;

  void Progress(const ProgressRecord& record) override {
    progressVisible = true;
    records.push_back(record);
    const std::string text = ProgressText(record);
    const bool newText = progressTexts.empty() || progressTexts.back() != text;
    if (newText) progressTexts.push_back(text);
    if (newText || percents.empty() || percents.back() != record.percent) {
      percents.push_back(record.percent);
    }
  }
  void HideProgress() override { progressVisible = false; }
  void ProcessEvents() override { ++processed; }

  bool AskInclude(const std::string& name, std::int64_t size) override {
    includePrompts.push_back(name + " " + std::to_string(size));
    return Next(includeAnswers, false);
  }
  SetChoice AskSetProperties(const SetProposal& proposal) override {
    ++proposals;
    lastProposal = proposal;
    return Next(setChoices, SetChoice{true, proposal.defaultVolumes, {}});
  }
  bool Confirm(const Question& question) override {
    questions.push_back(question.text);
    return Next(confirmAnswers, true);
  }
  RenameReply AskRename(const RenamePrompt& prompt) override {
    renamePrompts.push_back(prompt.found + " -> " + prompt.missing);
    return Next(renameReplies, RenameReply{});
  }
  RestoreReply AskRestore(const RestorePrompt& prompt) override {
    restorePrompts.push_back(prompt.name);
    restoreAsked.push_back(prompt);
    if (declineChanged && prompt.changedAfterSet) return {RestoreButton::kNo, false};
    return Next(restoreReplies, RestoreReply{});
  }
  void ShowReport(const SetReport& report) override {
    setReports.push_back(report);
    reports.push_back(ReportTexts(report));
    notes.push_back(ReportNotes(report));
  }
  void Message(const std::string& text) override { messages.push_back(text); }
  void Succeeded(const std::string& text) override { successes.push_back(text); }

 private:
  template <typename T>
  static T Next(std::deque<T>& queue, T otherwise) {
    if (queue.empty()) return otherwise;
    T next = queue.front();
    queue.pop_front();
    return next;
  }
};

}  // namespace tarvel::testing
