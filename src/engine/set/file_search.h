// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a set's files in its folder, and telling a volume of the set from
// a file.
#pragma once

#include <optional>
#include <string>

namespace tarvel {

class Action;

// Sets present, crcok and the trouble of every file of the action's set (a
// file that is not present is never intact), offering files found by
// content under other names (the File search prompt, or the answer that
// stands); what the search learnt goes to action.found.  A file is looked up
// by its listed name even when that starts with "."; the content search
// takes only visible regular files (no symbolic links) and never one it has
// already put in place under another name.  When the volume search comes
// next (`volumesNext`), the volumes are read beside the files, their
// digests handed over to it.
void SearchFiles(Action& action, bool volumesNext);

// When the file at `path` is a volume of the action's set (its header is
// that of a volume with the set digest), its volume number.
[[nodiscard]] std::optional<int> VolumeOfThisSet(Action& action, const std::string& path);

}  // namespace tarvel
