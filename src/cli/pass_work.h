// The work behind the engine's progress texts, in bytes, for the progress
// line's throughput and time left: a check reads every file of the set
// ("Checking NAME" of a file) and then every volume found ("Checking NAME"
// of a volume), the analysis before creating reads every chosen file
// ("Analyzing NAME"), a restore and the parity pass of a create go through
// the data of the files in parity once.  The sizes come from the set model
// and from the files themselves (a damaged file may have another size than
// the list says).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/progress_line.h"
#include "engine/engine.h"

namespace tarvel::cli {

class PassWork {
 public:
  explicit PassWork(const Engine& engine) : engine_(engine) {}

  // The work of the pass `text` belongs to, or nothing for a text that does
  // not say (searching by content, writing headers).
  std::optional<StepWork> Of(const std::string& text);

 private:
  enum class Pass { kNone, kFiles, kVolumes };
  // Sizes of the files of the set (kFiles) or of the volumes found (kVolumes),
  // measured when a pass starts.
  void Measure(Pass pass);
  std::optional<StepWork> Step(Pass pass, int index, bool passStarts);

  const Engine& engine_;
  Pass measured_ = Pass::kNone;
  std::vector<std::int64_t> before_;  // before_[i]: bytes of the steps before step i
};

}  // namespace tarvel::cli
