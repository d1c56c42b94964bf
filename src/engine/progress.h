// Progress as data: what an action is doing, as a record that each front end
// says in its own way.  The windows show the system's text and percentage
// (ProgressText, record.percent); the command line adds the throughput and
// the time left from the bytes.
#pragma once

#include <cstdint>
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

}  // namespace tarvel
