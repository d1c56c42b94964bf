#include "platform/interrupt_cleanup.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace tarvel {
namespace {

// Enough for every volume of the largest set, or every file of a restore,
// at once.  Fixed storage: the signal handler may neither allocate nor lock.
constexpr int kSlots = 300;
constexpr std::size_t kLongestPath = 4096;

enum SlotState : int { kFree, kFilling, kHeld };

struct Slot {
  std::atomic<int> state{kFree};
  char path[kLongestPath];
};

Slot gSlots[kSlots];

void OnInterrupt(int sig) {
  RemoveRegisteredTemporaryFiles();
  _exit(128 + sig);
}

}  // namespace

int RegisterTemporaryFile(const std::string& path) {
  if (path.empty() || path.size() >= kLongestPath) return -1;
  for (int i = 0; i < kSlots; ++i) {
    Slot& slot = gSlots[i];
    int expected = kFree;
    if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
    // The path is complete before the handler may see the slot.
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.state.store(kHeld, std::memory_order_release);
    return i;
  }
  return -1;
}

void ReleaseTemporaryFile(int slot) {
  if (slot >= 0 && slot < kSlots) gSlots[slot].state.store(kFree, std::memory_order_release);
}

void RemoveRegisteredTemporaryFiles() {
  for (Slot& slot : gSlots) {
    if (slot.state.load(std::memory_order_acquire) == kHeld) unlink(slot.path);
  }
}

void InstallInterruptCleanup() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace tarvel
