// The progress line of tarvel-cli: what the engine is doing (its progress
// text: the operation and the file), the percentage, the throughput and the
// time left, as one line for a terminal.
//
// Throughput and time left need to know how much work the current pass
// holds.  Where the front end can say so in bytes (a StepWork: the whole
// pass and what of it is done), they rest on bytes; otherwise the time left
// rests on the engine's percentage and no throughput is shown.  Both appear
// only once the pass has run for a moment and something of it is done, so
// the first figures are not guesses from nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/progress.h"

namespace tarvel::cli {

// The work of the pass the current progress text belongs to, in bytes.
struct StepWork {
  std::int64_t passTotal = 0;  // the whole pass
  // What of the pass was done when the current step began; -1 when the
  // step is the whole pass and the engine's percentage tells what is done.
  std::int64_t doneBefore = 0;
};

class ProgressLine {
 public:
  // Forgets the pass: the next Format starts a new one (the progress was
  // hidden and shown again).
  void Reset() { pace_.Reset(); }

  // The line for the engine's `text` and `percent` (-1: none), the work
  // known for the text, at `now` seconds of a steady clock.  A new pass
  // begins when the operation (the text's first word) or the pass's size
  // changes, or when the percentage falls.  `width` > 0: the text is cut so
  // that the line has at most `width` - 1 characters.
  std::string Format(const std::string& text, int percent, const std::optional<StepWork>& work,
                     double now, int width = 0);

 private:
  ProgressPace pace_;
};

using ::tarvel::FormatDuration;

}  // namespace tarvel::cli
