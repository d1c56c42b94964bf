// SPDX-License-Identifier: GPL-3.0-or-later
// The running action: what one user action (a create, a check, a restore, a
// repair) needs while it runs, made by the Engine's public call, passed to
// every step of the action, and gone when the call returns.  It holds the
// worker threads of the action, the digests it has taken, the folders it
// holds and the pacing of the front end's events; the set it works on lives
// on in the Engine.
//
// Everything here is used from the calling thread only (worker threads get
// their tasks through the pool), and nothing of it outlives the action.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/format/model.h"
#include "engine/interaction.h"
#include "engine/progress.h"
#include "platform/env.h"

namespace tarvel {

class DigestMemo;
class ParityMatrix;
class WorkerPool;

// What the last search of the set folder learnt beyond the tables.
struct SearchFindings {
  // By FileTable slot: the file was found by its content under another name
  // (whatever was then done with that file).
  std::vector<std::uint8_t> foundElsewhere;
  int placed = 0;  // files the search renamed or copied into place

  [[nodiscard]] bool FoundElsewhere(int i) const {
    return i >= 0 && static_cast<std::size_t>(i) < foundElsewhere.size() &&
           foundElsewhere[static_cast<std::size_t>(i)] != 0;
  }
};

class Action {
 public:
  // `threads`: as Engine::SetThreads; `stop`: the engine's stop request.
  Action(Env& env, Interaction& ui, SetModel& model, ParityMatrix& parity, int threads,
         const std::atomic<bool>& stop);
  ~Action();
  Action(const Action&) = delete;
  Action& operator=(const Action&) = delete;

  Env& env;
  Interaction& ui;
  SetModel& model;       // the set the action works on
  ParityMatrix& parity;  // the parity arithmetic's tables and blocks
  SearchFindings found;  // of the last search of this action

  // The path of a bare name of the set folder.
  [[nodiscard]] std::string InSetFolder(const std::string& name) const;

  // Throws ActionStopped when a stop was requested.
  void StopPoint() const;
  // A stop point, the record shown, and the front end's pending events at
  // most every kEventIntervalMs.
  void ShowProgress(const ProgressRecord& record);
  // Between records, while a pass runs: a stop point and the pending events.
  void KeepResponsive();
  // The front end's pending events, at most every kEventIntervalMs.
  void PaceEvents();

  // The worker pool of the action, made by its first pass with no more
  // threads than that pass has pieces of work (`work`).
  WorkerPool& Pool(std::size_t work);

  // The digests taken in this action (see digest_memo.h), or null: only an
  // action that reads the set twice keeps them, from RememberDigests on.
  // Their stamps are told apart by the clock of the file system of the set
  // folder.
  [[nodiscard]] DigestMemo* Memo() { return memo_.get(); }
  void RememberDigests();
  // The digests the check of the files took of the volumes beside them,
  // for the volume search that follows (DigestMemo::Keep); emptied when
  // that search is over.
  [[nodiscard]] DigestMemo& HandOver();

  // Holds `folder` (Env::HoldFolder) until the action ends, so that it
  // stays in the folder it started in, however deep, if the folder is
  // renamed meanwhile.  A folder held already is not held again.
  void HoldFolder(const std::string& folder);

 private:
  int threads_;
  const std::atomic<bool>& stop_;
  std::unique_ptr<WorkerPool> pool_;
  std::unique_ptr<DigestMemo> memo_;
  std::unique_ptr<DigestMemo> handOver_;
  std::vector<std::pair<std::string, std::unique_ptr<FolderHold>>> holds_;
  std::int64_t lastEventsMs_ = -1;  // when the front end last ran its events (Env::NowMs)
};

}  // namespace tarvel
