// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/interrupt_cleanup.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/env.h"
#include "platform/path_at.h"

namespace tarvel {
namespace {

// Enough for every volume of the largest set, or every file of a restore,
// at once.  Fixed storage: the signal handler may neither allocate nor lock.
// A file is remembered as its folder's descriptor and its bare name, which
// unlinkat removes whatever the length of the folder's path, and in the
// folder the file was made in even if that folder was renamed since.
constexpr int kSlots = 300;
constexpr std::size_t kLongestName = 256;

enum SlotState : int { kFree, kFilling, kHeld };

struct Slot {
  std::atomic<int> state{kFree};
  int folder = -1;  // the gFolders entry
  char name[kLongestName];
};

Slot gSlots[kSlots];

// The folders of the registered files, each opened once however many files
// it holds (a set of 256 volumes must not cost 256 more descriptors).
// Registering and releasing take the mutex; the handler only reads `fd`.
struct Folder {
  std::atomic<int> fd{-1};
  dev_t device = 0;
  ino_t inode = 0;
  int users = 0;
};
static_assert(std::atomic<int>::is_always_lock_free);

Folder gFolders[kSlots];
std::mutex gFoldersMutex;

// The gFolders entry of the folder open as `fd`, which it takes over (or
// closes, when the folder has an entry already); -1 when every entry is taken.
int ShareFolder(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    return -1;
  }
  const std::lock_guard lock(gFoldersMutex);
  int free = -1;
  for (int i = 0; i < kSlots; ++i) {
    Folder& f = gFolders[i];
    if (f.users == 0) {
      if (free < 0) free = i;
      continue;
    }
    if (f.device == st.st_dev && f.inode == st.st_ino) {
      ++f.users;
      close(fd);
      return i;
    }
  }
  if (free < 0) {
    close(fd);
    return -1;
  }
  Folder& f = gFolders[free];
  f.device = st.st_dev;
  f.inode = st.st_ino;
  f.users = 1;
  f.fd.store(fd, std::memory_order_release);
  return free;
}

void LeaveFolder(int folder) {
  const std::lock_guard lock(gFoldersMutex);
  Folder& f = gFolders[folder];
  if (--f.users > 0) return;
  close(f.fd.exchange(-1));
}

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
  const std::string name = BareName(path);
  if (name.empty() || name.size() >= kLongestName) return -1;
  int fd = -1;
  {
    const std::string folder = FolderOf(path);
    const platform::PathAt at(folder.empty() ? "." : folder);
    if (at) fd = openat(at.Folder(), at.Name(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  }
  if (fd < 0) return -1;
  const int folder = ShareFolder(fd);
  if (folder < 0) return -1;
  for (int i = 0; i < kSlots; ++i) {
    Slot& slot = gSlots[i];
    int expected = kFree;
    if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
    // The name is complete before the handler may see the slot.
    slot.folder = folder;
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    slot.state.store(kHeld, std::memory_order_release);
    return i;
  }
  LeaveFolder(folder);
  return -1;
}

void ReleaseTemporaryFile(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  // The slot is free before its folder may close, so the handler never
  // takes a closed folder's descriptor for the slot's.
  const int folder = gSlots[slot].folder;
  gSlots[slot].state.store(kFree, std::memory_order_release);
  LeaveFolder(folder);
}

void RemoveRegisteredTemporaryFiles() {
  for (Slot& slot : gSlots) {
    if (slot.state.load(std::memory_order_acquire) != kHeld) continue;
    const int fd = gFolders[slot.folder].fd.load(std::memory_order_acquire);
    if (fd >= 0) unlinkat(fd, slot.name, 0);
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
