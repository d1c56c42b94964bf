// Temporary files that must not outlive an interrupted action.  Whoever
// creates a temporary file registers it while it exists; a program that
// installs the interrupt cleanup (tarvel-cli) then removes every registered
// file when SIGINT or SIGTERM arrives and exits with 128 + the signal's
// number (130, 143).  A file still left behind (the process was killed
// outright) holds no lock, and the next action in its folder removes it.
#pragma once

#include <string>

namespace tarvel {

// Remembers `path` until ReleaseTemporaryFile; returns the slot, or -1 when
// the path is too long or every slot is taken (the file then depends on the
// next action's clean-up alone).
int RegisterTemporaryFile(const std::string& path);
// Forgets the file of `slot` (a slot of -1 is ignored).
void ReleaseTemporaryFile(int slot);

// Removes every registered file; safe to call from a signal handler.
void RemoveRegisteredTemporaryFiles();

// SIGINT and SIGTERM: RemoveRegisteredTemporaryFiles, then _exit(128 + signal).
void InstallInterruptCleanup();

}  // namespace tarvel
