// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a set's volumes in its folder.
#pragma once

namespace tarvel {

class Action;

// Fills VolumeTable from the set folder and verifies every volume found:
// every file of the folder that carries the set digest, by volume number
// (the data offset of each from its own header), each number's files
// verified in turn until a usable one, in one pass over all of them.  Of
// several files with one number a usable one is chosen over an unusable
// one, a regular file over a symbolic link, and otherwise the first name in
// byte order.  A file named like a volume of the set that cannot be opened
// or read is named in its number's slot with why; any other file that
// cannot be read is passed over.  The set is stamped by its main volume.
void FindVolumes(Action& action);

}  // namespace tarvel
