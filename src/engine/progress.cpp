#include "engine/progress.h"

namespace tarvel {

std::string ProgressText(const ProgressRecord& r) {
  switch (r.step) {
    case ProgressStep::kAnalysing:
      return "Analyzing " + r.name;
    case ProgressStep::kWritingHeaders:
      return "Writing headers...";
    case ProgressStep::kWritingParity:
      return "Writing parity data...";
    case ProgressStep::kWritingChecksums:
      return "Creating checksum for " + r.name;
    case ProgressStep::kSearching:
      return "Searching files...";
    case ProgressStep::kCheckingFiles:
    case ProgressStep::kCheckingVolumes:
      return "Checking " + r.name;
    case ProgressStep::kRestoring:
      return r.items == 1 ? "Restoring " + r.name
                          : "Restoring " + std::to_string(r.items) + " files";
  }
  return {};
}

}  // namespace tarvel
