// An Interaction for tests: answers prompts from scripted queues and records
// every message, progress text, percentage and prompt it was shown.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "engine/interaction.h"

namespace tarvel::testing {

class ScriptedInteraction : public Interaction {
 public:
  // Scripted answers; when a queue is empty the prompt is "closed".
  std::deque<bool> includeAnswers;
  std::deque<RenameReply> renameReplies;
  std::deque<RestoreReply> restoreReplies;

  // What was shown.
  std::vector<std::string> messages;
  std::vector<std::string> progressTexts;
  std::vector<int> percents;
  std::vector<std::string> includePrompts;  // "name size"
  std::vector<std::string> renamePrompts;   // "found -> missing"
  std::vector<std::string> restorePrompts;  // names
  int renameResets = 0;
  int restoreResets = 0;
  bool progressVisible = false;

  void ShowProgress() override { progressVisible = true; }
  void HideProgress() override { progressVisible = false; }
  void SetProgressText(const std::string& text) override { progressTexts.push_back(text); }
  void SetProgressPercent(int percent) override { percents.push_back(percent); }
  void ClearProgressPercent() override { percents.push_back(-1); }
  void ProcessEvents() override {}

  bool AskInclude(const std::string& name, std::int64_t size) override {
    includePrompts.push_back(name + " " + std::to_string(size));
    if (includeAnswers.empty()) return false;
    bool a = includeAnswers.front();
    includeAnswers.pop_front();
    return a;
  }
  void ResetRenamePrompt() override { ++renameResets; }
  RenameReply AskRename(const std::string& found, const std::string& missing) override {
    renamePrompts.push_back(found + " -> " + missing);
    if (renameReplies.empty()) return {};
    RenameReply r = renameReplies.front();
    renameReplies.pop_front();
    return r;
  }
  void ResetRestorePrompt() override { ++restoreResets; }
  RestoreReply AskRestore(const std::string& name) override {
    restorePrompts.push_back(name);
    if (restoreReplies.empty()) return {};
    RestoreReply r = restoreReplies.front();
    restoreReplies.pop_front();
    return r;
  }
  void Message(const std::string& text) override { messages.push_back(text); }
};

}  // namespace tarvel::testing
