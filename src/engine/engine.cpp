// The engine object: construction, reading the chosen volume, and the small
// helpers shared by creating, checking and restoring.

#include "engine/engine.h"

#include <array>
#include <atomic>
#include <chrono>

#include "engine/set/action.h"
#include "engine/format/format.h"
#include "engine/format/volume_reader.h"
#include "engine/io/replacing_writer.h"

namespace tarvel {
namespace {

std::atomic<int> defaultThreads{0};

}  // namespace

Engine::Engine(Env& env, Interaction& ui) : env_(env), ui_(ui), threads_(DefaultThreads()) {}

Engine::~Engine() = default;

void Engine::StopPoint() const {
  if (StopRequested()) throw ActionStopped();
}

void Engine::PaceEvents() {
  const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
  if (now - lastEventsMs_ < kEventIntervalMs) return;
  lastEventsMs_ = now;
  ui_.ProcessEvents();
}

void Engine::KeepResponsive() {
  StopPoint();
  PaceEvents();
}

void Engine::Report(const ProgressRecord& record) {
  StopPoint();
  ui_.Progress(record);
  PaceEvents();
}

WorkerPool& Engine::Pool(std::size_t work) {
  if (!pool_) pool_ = std::make_unique<WorkerPool>(threads_, work);
  return *pool_;
}

void Engine::ShowReport() {
  std::vector<std::string> lines;
  BuildReport(lines);
  ui_.ShowReport(lines, ReportNotes());
}

void Engine::SetDefaultThreads(int threads) { defaultThreads.store(threads); }

int Engine::DefaultThreads() { return defaultThreads.load(); }

bool Engine::ReadVolume(const std::string& volumePath) {
  model_.ResetTables();
  actions_.clear();
  if (!::tarvel::ReadVolume(model_, env_, ui_, volumePath)) return false;
  // The set lives in the volume's folder.  A relative volume path is taken
  // against the current folder once, here, so that nothing later depends on
  // where the process happens to be.
  std::string folder = FolderOf(volumePath);
  if (folder.empty() || folder.front() != '/') {
    const std::string current = env_.CurrentFolder();
    folder = folder.empty() ? current : JoinPath(current, folder);
  }
  setFolder_ = folder;
  volumeRead_ = BareName(volumePath);
  HoldFolder(setFolder_);
  std::vector<std::string> listed;
  for (int i = 0; i < model_.FileCount; ++i) listed.push_back(model_.FileTable[i].name);
  RemoveAbandonedTemporaryFiles(env_, setFolder_, listed);
  return true;
}

bool Engine::IsVolume(const std::string& path) {
  std::array<std::uint8_t, kHeaderSize> head{};
  std::size_t got = 0;
  try {
    got = env_.OpenRead(path)->ReadAt(0, head.data(), head.size());
  } catch (const FileError&) {
    return false;
  }
  return RecogniseVolume(std::span(head.data(), got)) != VolumeKind::kNotVolume;
}

bool Engine::MayReplace(const fileentry& e) const {
  return !(e.present &&
           (e.trouble == ReadTrouble::kNotChecked || e.trouble == ReadTrouble::kIsVolume));
}

bool Engine::IsPlainFile(const std::string& path) {
  return env_.IsPlainFile(FolderOf(path), BareName(path));
}

void Engine::HoldFolder(const std::string& folder) {
  if (actionDepth_ == 0) return;
  for (const auto& held : holds_) {
    if (held.first == folder) return;
  }
  holds_.emplace_back(folder, env_.HoldFolder(folder));
}

std::string Engine::InSetFolder(const std::string& name) const {
  return setFolder_.empty() ? name : JoinPath(setFolder_, name);
}

std::string ErrorBoxText(const std::string& errorText) {
  if (!errorText.empty() && errorText.back() == '.') return errorText;
  return errorText + ".";
}

}  // namespace tarvel
