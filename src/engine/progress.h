// SPDX-License-Identifier: GPL-3.0-or-later
// Progress as data: what an action is doing, as a record that each front end
// says in its own way: the system's text (ProgressText), the share done
// (ShareDone), the throughput and the time left (ProgressPace).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarvel {

// How often, at least, the engine lets the front end run its pending
// events while an action runs on the calling thread.
inline constexpr int kEventIntervalMs = 30;

enum class ProgressStep {
  kAnalysing,         // "Analyzing NAME": the chosen files are read
  kWritingHeaders,    // "Writing headers...": the volumes are started
  kWritingParity,     // "Writing parity data...": the parity pass
  kWritingChecksums,  // "Creating checksum for NAME": each volume's control digest
  kSearching,         // "Searching files...": files looked for by name and content
  kCheckingFiles,     // "Checking NAME": a file of the set is verified
  kCheckingVolumes,   // "Checking NAME": a volume is verified
  kRestoring,         // "Restoring NAME" or "Restoring N files": the rebuild
};

struct ProgressRecord {
  ProgressStep step = ProgressStep::kAnalysing;
  // The item the step is at (a file or a volume, or for a restore of one
  // file that file), 0-based, of `items`; its name.
  int item = 0;
  int items = 0;
  std::string name;
  // The percentage the windows show, 0..100, or -1 for none.
  int percent = -1;
  // Bytes of the item and of the whole step, done and in all; totals of 0
  // where the step has no bytes to tell (searching, headers, checksums).
  std::int64_t itemDone = 0;
  std::int64_t itemTotal = 0;
  std::int64_t stepDone = 0;
  std::int64_t stepTotal = 0;
};

// The system's text for a record ("Checking a.bin").
std::string ProgressText(const ProgressRecord& record);

// How much of the record's step is done, 0..1: from its bytes where the
// step has them, else from the engine's percentage; nothing when neither
// tells.
std::optional<double> ShareDone(const ProgressRecord& record);

// Throughput and time left of a step, from how much of it is done over
// time; both front ends show the same figures.  A new pass begins when the
// step or its size in bytes changes, or when what is done falls.  The
// figures appear only once the pass has run for a moment and something of
// it is done, so the first ones are not guesses from nothing.
class ProgressPace {
 public:
  struct Figures {
    std::optional<double> bytesPerSecond;  // only for a step of known size
    std::optional<double> secondsLeft;
  };

  // Forgets the pass: the next update starts a new one.
  void Reset() { started_ = false; }
  // `now`: seconds of a steady clock.
  Figures At(const ProgressRecord& record, double now);

 private:
  bool started_ = false;
  ProgressStep step_ = ProgressStep::kAnalysing;
  std::int64_t total_ = -1;
  std::optional<double> lastDone_;
  double start_ = 0;
  double doneAtStart_ = 0;  // fraction of the pass done when it was first seen
};

// "0:07", "12:30", "1:02:03".
std::string FormatDuration(double seconds);

}  // namespace tarvel
