// SPDX-License-Identifier: GPL-3.0-or-later
// Protecting one folder of a tree (Engine::Protect walks the tree): which
// of its files a set takes, how they are split into sets and named, whether
// its sets are up to date, and the renewal, all of the folder's sets put in
// place in one commit.
#pragma once

#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/env.h"

namespace tarvel {

class Action;

// The sizes of the sets that `files` files make: as few sets as hold them
// at 250 at most, their sizes as equal as may be (the first ones one more):
// 300 files give 150 + 150, 501 give 167 + 167 + 167.
std::vector<int> SetSizes(int files);

// The parity volumes of a set of `files` files: `percent` of them, at least
// 1 and at most what such a set may have; with 0 as many as a create
// proposes.
int ProtectParityCount(int files, int percent);

// Protects the folder `folder`, whose entries are `entries` (as Env::List
// gives them), and says what it found and did.  Writes nothing but the
// folder's own volumes, all in one commit, or nothing at all.  FileError
// passes on (nothing of the folder changed); a stop ends it with
// ActionStopped.
FolderResult ProtectFolder(Action& action, const std::string& folder,
                           const std::vector<FolderEntry>& entries, const ProtectOptions& options);

}  // namespace tarvel
