// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis of a create: the chosen files entered in the model with
// their sizes and digests, the small-file rule asked (Include this?), and
// the totals Parity Properties shows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/env.h"

namespace tarvel {

class Action;

// What the analysis learnt beyond the model.
struct Analysis {
  // The stamp of each listed file (by FileTable slot) as it was sized:
  // writing the set fails if a file is no longer exactly that file.
  std::vector<FileStamp> stamps;
  // The files were sized, not read: their digests are taken by the parity
  // pass of the writer (a create in one pass).
  bool digestsPending = false;
};

// Fills the model from the chosen paths, in set order (the caller sorts
// them byte-wise): each file read once for its size and both digests, or,
// with `onePass`, only sized (the writer reads it).  The size listed is the
// number of bytes digested.  Nothing (after its message) when a name holds
// a backslash or control character, which a file list cannot hold (refused
// before anything is read), when a file is empty, or when no file ended up
// in parity.  A file that changed while it was read (it grew, shrank or was
// written to) throws FileError with FileChangedText.
[[nodiscard]] std::optional<Analysis> AnalyseFiles(Action& action,
                                                   const std::vector<std::string>& paths,
                                                   bool onePass);

}  // namespace tarvel
