// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a volume set (see set_writer.cpp for how the volumes are made).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/io/replacing_writer.h"

namespace tarvel {

class Action;
struct Analysis;

// Writes volumes 0..parityCount under VolumeFileName(baseName, n) from the
// analysed model: each under a hidden temporary name first, all put in
// place together only when every one is complete and flushed
// (CommitTogether), so a failure leaves the earlier volumes of those names
// as they were, all of them.  Only the volumes named in `mayReplace` (those
// that existed when the person was asked, or -f was given) are replaced;
// any other name is claimed only if it is still free when the volumes are
// put in place, and one taken by then (another program created it
// meanwhile) shows CreatedMeanwhileText and returns false, nothing of this
// create left and what the other program put there staying.  Refuses (with
// a message, nothing written) a volume name that is one of the files being
// protected, by device and inode.  The parity pass takes each source's
// digests from the bytes it reads: a file that is no longer the one
// analysed (other content, size, change time, device or inode) throws
// FileError with FileChangedText and nothing is put in place.  Throws
// FileError on any failed open/create/read/write/rename/flush; returns true
// only when every volume is complete and on disk.  The files of `removals`
// (volumes of the set being replaced that the new one does not reuse) are
// removed in the same commit, all or nothing with the new volumes.  With
// `deferred`, the complete and flushed volumes are handed over there instead
// of put in place, for the caller to commit with those of other sets.
[[nodiscard]] bool WriteVolumeSet(
    Action& action, const Analysis& analysis, const std::string& baseName, int parityCount,
    const std::vector<std::string>& mayReplace, const std::vector<RemovedWithCommit>& removals = {},
    std::vector<std::unique_ptr<ReplacingWriter>>* deferred = nullptr);

}  // namespace tarvel
