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

// The holds and the signal waiting for them, in one word so that the
// handler and the end of a hold can never miss each other: the low byte is
// the first signal that arrived while held (0: none), the rest counts the
// holds.
constexpr unsigned kSignalBits = 0xFF;
constexpr unsigned kOneHold = 0x100;
std::atomic<unsigned> gHeld{0};
static_assert(std::atomic<unsigned>::is_always_lock_free);

[[noreturn]] void CleanUpAndExit(int sig) {
  RemoveRegisteredTemporaryFiles();
  _exit(128 + sig);
}

void (*gStop)() = nullptr;
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnInterrupt(int sig) {
  int none = 0;
  if (gStop != nullptr && gStopSignal.compare_exchange_strong(none, sig)) {
    gStop();
    return;
  }
  unsigned state = gHeld.load();
  for (;;) {
    if (state < kOneHold) CleanUpAndExit(sig);
    if ((state & kSignalBits) != 0) return;  // one is waiting already
    if (gHeld.compare_exchange_weak(state, state | static_cast<unsigned>(sig))) return;
  }
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

int StopSignal() { return gStopSignal.load(); }

void InstallInterruptCleanup(void (*stop)()) {
  gStop = stop;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, sig);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

InterruptsHeld::InterruptsHeld() { gHeld.fetch_add(kOneHold); }

InterruptsHeld::~InterruptsHeld() {
  unsigned state = gHeld.load();
  for (;;) {
    const bool last = state < 2 * kOneHold;
    // The last hold takes the waiting signal with it, to act on it now.
    const unsigned next = last ? 0 : state - kOneHold;
    if (gHeld.compare_exchange_weak(state, next)) break;
  }
  const int waiting = static_cast<int>(state & kSignalBits);
  if (state < 2 * kOneHold && waiting != 0) CleanUpAndExit(waiting);
}

}  // namespace tarvel
