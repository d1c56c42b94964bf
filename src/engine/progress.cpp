// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/language.h"

namespace tarvel {
namespace {

// Throughput and time left appear after this much time in the pass.
constexpr double kSettleSeconds = 1.0;

}  // namespace

std::string ProgressText(const ProgressRecord& r) {
  switch (r.step) {
    case ProgressStep::kAnalysing:
      return TrFill("Analyzing %s", {r.name});
    case ProgressStep::kWritingHeaders:
      return TR("Writing headers...");
    case ProgressStep::kWritingParity:
      return TR("Writing parity data...");
    case ProgressStep::kWritingChecksums:
      return TrFill("Creating checksum for %s", {r.name});
    case ProgressStep::kSearching:
      return TR("Searching files...");
    case ProgressStep::kCheckingFiles:
    case ProgressStep::kCheckingVolumes:
      return TrFill("Checking %s", {r.name});
    case ProgressStep::kRestoring:
      return r.items == 1 ? TrFill("Restoring %s", {r.name})
                          : TrFill("Restoring %s files", {std::to_string(r.items)});
  }
  return {};
}

std::optional<double> ShareDone(const ProgressRecord& r) {
  if (r.stepTotal > 0) {
    return static_cast<double>(std::clamp<std::int64_t>(r.stepDone, 0, r.stepTotal)) /
           static_cast<double>(r.stepTotal);
  }
  if (r.percent >= 0) return std::min(r.percent, 100) / 100.0;
  return std::nullopt;
}

ProgressPace::Figures ProgressPace::At(const ProgressRecord& record, double now) {
  const std::optional<double> done = ShareDone(record);
  const std::int64_t total = record.stepTotal > 0 ? record.stepTotal : -1;
  if (!started_ || record.step != step_ || total != total_ ||
      (done && lastDone_ && *done < *lastDone_)) {
    started_ = true;
    step_ = record.step;
    total_ = total;
    start_ = now;
    doneAtStart_ = done.value_or(0);
  }
  lastDone_ = done;

  Figures figures;
  const double elapsed = now - start_;
  const double progressed = done.value_or(0) - doneAtStart_;
  if (!done || elapsed < kSettleSeconds || progressed <= 0) return figures;
  if (total > 0) figures.bytesPerSecond = progressed * static_cast<double>(total) / elapsed;
  figures.secondsLeft = (1.0 - *done) * elapsed / progressed;
  return figures;
}

std::string FormatDuration(double seconds) {
  const long total = std::lround(std::max(0.0, seconds));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

}  // namespace tarvel
