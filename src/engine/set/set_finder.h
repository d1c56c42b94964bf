// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the volume sets below a folder, for checking and repairing every
// set of a tree (`verify -r`, `repair -r`, and the windows' Check a Folder).
//
// A file is a volume when its header says so (the volume magic and a known
// format version), whatever its name.  The volumes of one folder that carry
// the same set digest are one set; the same set copied into two folders is
// two sets, as each is checked in its own folder.  Hidden files and hidden
// folders are passed over, as a check never sees them, and symbolic links to
// folders are not followed, so a link cannot make a set appear twice or the
// search run in a circle.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "checksum/md5.h"
#include "platform/env.h"

namespace tarvel {

struct FoundSet {
  // Paths of the set's volumes (the root as given, joined with the folders
  // below it), the preferred first: the main volume, then the parity
  // volumes by number; volumes with equal numbers in byte order of the name.
  std::vector<std::string> volumes;
};

struct SetSearch {
  // Folder by folder, depth first: a folder's own sets (by the preferred
  // volume's name), then its subfolders in byte order of their names.
  std::vector<FoundSet> sets;
  // Folders that could not be listed, with the system's reason.
  std::vector<std::string> unreadableFolders;
};

// The set digest of the file at `path` when its header makes it a volume
// that can be read (and its volume number, when `number` is given); nothing
// for any other file or one that cannot be read.
std::optional<md5digest> SetDigestOf(Env& env, const std::string& path,
                                     std::uint64_t* number = nullptr);

// Every set in `root` and the folders below it.  Reads the first bytes of
// every plain file through `env`; files that cannot be read are passed over.
SetSearch FindSets(Env& env, const std::string& root);
// The sets of `folder` itself, none of the folders below it.
SetSearch FindSetsIn(Env& env, const std::string& folder);

}  // namespace tarvel
