// The engine object: construction, reading the chosen volume, and the small
// helpers shared by creating, checking and restoring.

#include "engine/engine.h"

#include <atomic>

#include "engine/read_volume.h"
#include "engine/replacing_writer.h"

namespace tarvel {
namespace {

std::atomic<int> defaultThreads{0};

}  // namespace

Engine::Engine(Env& env, Interaction& ui) : env_(env), ui_(ui), threads_(DefaultThreads()) {}

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
  std::vector<std::string> listed;
  for (int i = 0; i < model_.FileCount; ++i) listed.push_back(model_.FileTable[i].name);
  RemoveAbandonedTemporaryFiles(env_, setFolder_, listed);
  return true;
}

std::string Engine::InSetFolder(const std::string& name) const {
  return setFolder_.empty() ? name : JoinPath(setFolder_, name);
}

std::string ErrorBoxText(const std::string& errorText) {
  if (!errorText.empty() && errorText.back() == '.') return errorText;
  return errorText + ".";
}

}  // namespace tarvel
