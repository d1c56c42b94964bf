// SPDX-License-Identifier: GPL-3.0-or-later
// Temporary files that must not outlive an interrupted action, and moments
// that an interrupt must not cut short.
//
// Whoever creates a temporary file registers it while it exists; a program
// that installs the interrupt cleanup (tarvel-cli, tarvel) then removes
// every registered file when SIGINT, SIGTERM or SIGHUP arrives and exits
// with 128 + the signal's number (130, 143, 129).  A file still left behind
// (the process was killed outright) holds no lock, and the next action in
// its folder removes it.
//
// While an InterruptsHeld object lives (files being put in place, or put
// back), those signals wait: the first one to arrive is acted on when the
// last such object goes, so an interrupt never leaves a set half replaced.
#pragma once

#include <string>

namespace tarvel {

// Remembers `path` until ReleaseTemporaryFile, as its folder (opened now,
// reached like every path of the file layer, held folders included) and its
// bare name: a path of any length can be removed, and a folder renamed
// since is still the one.  Returns the slot, or -1 when the folder cannot be
// opened or every slot is taken (the file then depends on the next action's
// clean-up alone).
int RegisterTemporaryFile(const std::string& path);
// Forgets the file of `slot` (a slot of -1 is ignored).
void ReleaseTemporaryFile(int slot);

// Removes every registered file; safe to call from a signal handler.
void RemoveRegisteredTemporaryFiles();

// SIGINT, SIGTERM and SIGHUP: RemoveRegisteredTemporaryFiles, then
// _exit(128 + signal), at once or, while interrupts are held, when the hold
// ends.  With `stop` given, the first of them calls `stop` instead (which
// must only set an atomic flag: it runs in the signal handler) and the
// program stops by itself and exits with 128 + StopSignal(); a second one
// is handled as above.
void InstallInterruptCleanup(void (*stop)() = nullptr);

// The signal that asked the program to stop, or 0.
int StopSignal();

// Holds interrupts for the lifetime of the object, on every thread (nests).
class InterruptsHeld {
 public:
  InterruptsHeld();
  ~InterruptsHeld();
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;
};

}  // namespace tarvel
