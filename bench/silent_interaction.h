// An Interaction for benchmarks: shows nothing, includes every small file,
// leaves files found under other names alone and restores every file without
// asking; messages go to stderr so that a failed run is noticed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/interaction.h"

namespace tarvel {

class SilentInteraction : public Interaction {
 public:
  void ShowProgress() override {}
  void HideProgress() override {}
  void Progress(const ProgressRecord&) override {}
  void ProcessEvents() override {}
  bool AskInclude(const std::string&, std::int64_t) override { return true; }
  SetChoice AskSetProperties(const SetProposal& proposal) override {
    return {true, proposal.defaultVolumes, {}};
  }
  bool Confirm(const Question&) override { return true; }
  void ShowReport(const std::vector<std::string>&, const std::vector<std::string>&) override {}
  void SetWorking(bool) override {}
  void Succeeded(const std::string&) override {}
  void ResetRenamePrompt() override {}
  RenameReply AskRename(const std::string&, const std::string&) override { return {}; }
  void ResetRestorePrompt() override {}
  RestoreReply AskRestore(const RestorePrompt&) override { return {RestoreButton::kYes, true}; }
  void Message(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

}  // namespace tarvel
