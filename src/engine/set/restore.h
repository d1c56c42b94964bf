// SPDX-License-Identifier: GPL-3.0-or-later
// Restoring the files of a checked set whose data is in parity and whose
// content is missing or wrong, from the good files and the usable parity
// volumes (see restore.cpp).
#pragma once

#include "engine/engine.h"
#include "engine/format/model.h"

namespace tarvel {

class Action;

// Whether a rebuild may put a new file in place of the file `e`: never over
// a file that was not checked, nor over one that holds a volume of the set.
[[nodiscard]] bool MayReplace(const fileentry& e);

// The files in parity that the recovery must solve for: every one not
// intact, rebuilt or not.
[[nodiscard]] int RecoveryUnknowns(const SetModel& m);

// What a restore would come to, without showing anything or touching any
// file (kRestored: a restore would run).
[[nodiscard]] RestoreOutcome PlanRestore(Action& action);
// The same once the files that the last search found under other names
// were put in place: kNothingToRestore when that alone mends every bad file
// in parity.  Leaves the model as the last report left it.
[[nodiscard]] RestoreOutcome PlanRepair(Action& action);

// "Restore Files": refuses with its messages when nothing is bad, volumes
// are too few, or no choice of the usable volumes 1..128 solves the
// recovery (nothing is created or changed then); otherwise rebuilds.  With
// `askEachFile` the Restore prompt is shown per file and each confirmed file
// is rebuilt with its own pass (the window); without it every bad file is
// rebuilt without asking in one pass over the sources (the command line),
// but a file changed after the set was made only when the Restore prompt
// says yes to it.  Each rebuilt file is written to a hidden temporary file
// of the set folder and renamed over its name only when complete and of the
// listed size and digests; one that is not is dropped with a message and
// its file left as it was.  A FileError leaves the file being rebuilt
// exactly as it was.  It does not search again.
RestoreOutcome RestoreFromReport(Action& action, bool askEachFile);

}  // namespace tarvel
