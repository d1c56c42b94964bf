// SPDX-License-Identifier: GPL-3.0-or-later
// An Interaction for benchmarks: shows nothing, includes every small file,
// answers Parity Properties with `choice` (the defaults when it has no
// count), leaves files found under other names alone and restores every
// file without asking; messages go to stderr so that a failed run is
// noticed, and the last report is kept.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/interaction.h"
#include "engine/report.h"

namespace tarvel {

class SilentInteraction : public Interaction {
 public:
  SetChoice choice{true, 0, {}};
  SetReport lastReport;

  void Progress(const ProgressRecord&) override {}
  void HideProgress() override {}
  void ProcessEvents() override {}
  bool AskInclude(const std::string&, std::int64_t) override { return true; }
  SetChoice AskSetProperties(const SetProposal& proposal) override {
    SetChoice c = choice;
    if (c.parityCount == 0) c.parityCount = proposal.defaultVolumes;
    return c;
  }
  bool Confirm(const Question&) override { return true; }
  RenameReply AskRename(const RenamePrompt&) override { return {}; }
  RestoreReply AskRestore(const RestorePrompt&) override { return {RestoreButton::kYes, true}; }
  void ShowReport(const SetReport& report) override { lastReport = report; }
  void Message(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  void Succeeded(const std::string&) override {}
};

}  // namespace tarvel
