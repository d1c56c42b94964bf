// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/set/action.h"

#include "engine/engine.h"
#include "engine/io/digest_memo.h"
#include "engine/io/replacing_writer.h"
#include "engine/io/worker_pool.h"

namespace tarvel {

Action::Action(Env& environment, Interaction& interaction, SetModel& set, ParityMatrix& matrix,
               int threads, const std::atomic<bool>& stop)
    : env(environment),
      ui(interaction),
      model(set),
      parity(matrix),
      threads_(threads),
      stop_(stop) {}

Action::~Action() = default;

std::string Action::InSetFolder(const std::string& name) const {
  return model.Folder.empty() ? name : JoinPath(model.Folder, name);
}

void Action::StopPoint() const {
  if (stop_.load()) throw ActionStopped();
}

void Action::PaceEvents() {
  const std::int64_t now = env.NowMs();
  if (lastEventsMs_ >= 0 && now - lastEventsMs_ < kEventIntervalMs) return;
  lastEventsMs_ = now;
  ui.ProcessEvents();
}

void Action::KeepResponsive() {
  StopPoint();
  PaceEvents();
}

void Action::ShowProgress(const ProgressRecord& record) {
  StopPoint();
  ui.Progress(record);
  PaceEvents();
}

WorkerPool& Action::Pool(std::size_t work) {
  if (!pool_) pool_ = std::make_unique<WorkerPool>(threads_, work);
  return *pool_;
}

void Action::RememberDigests() {
  memo_ = std::make_unique<DigestMemo>([this]() -> std::optional<std::int64_t> {
    if (model.Folder.empty()) return std::nullopt;
    return FileSystemNow(env, model.Folder);
  });
}

DigestMemo& Action::HandOver() {
  if (!handOver_) {
    handOver_ = std::make_unique<DigestMemo>([]() -> std::optional<std::int64_t> { return {}; });
  }
  return *handOver_;
}

void Action::HoldFolder(const std::string& folder) {
  for (const auto& held : holds_) {
    if (held.first == folder) return;
  }
  holds_.emplace_back(folder, env.HoldFolder(folder));
}

}  // namespace tarvel
