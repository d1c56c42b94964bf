// SPDX-License-Identifier: GPL-3.0-or-later
// The progress line of tarvel-cli: what the engine is doing (its progress
// text: the operation and the file), the share of the step done, the
// throughput and the time left, as one line for a terminal.  The figures
// are the engine's (ShareDone, ProgressPace), the same the windows show.
#pragma once

#include <string>

#include "engine/progress.h"

namespace tarvel::cli {

class ProgressLine {
 public:
  // Forgets the pass: the next Format starts a new one (the progress was
  // hidden and shown again).
  void Reset() { pace_.Reset(); }

  // The line for `record` at `now` seconds of a steady clock.  `width` > 0:
  // the text is cut so that the line has at most `width` - 1 characters.
  // With `overall` (the bytes of a whole protect, done and in all), the
  // figures are those of the whole, whose pace lasts from one step and one
  // showing of the line to the next.
  std::string Format(const ProgressRecord& record, double now, int width = 0,
                     const ProgressRecord* overall = nullptr);

 private:
  ProgressPace pace_;
  ProgressPace overallPace_;
};

using ::tarvel::FormatDuration;

}  // namespace tarvel::cli
