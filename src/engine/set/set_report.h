// SPDX-License-Identifier: GPL-3.0-or-later
// The report of a set as the check leaves the model (engine/report.h), and
// the counts the restore decides by, both from the model's tables alone.
#pragma once

#include "engine/format/model.h"
#include "engine/report.h"

namespace tarvel {

// Volumes up to this number are verified and reported; higher ones are not.
inline constexpr int kLastReportedVolume = 250;

struct SetCounts {
  int badFiles = 0;       // in parity, present and damaged, or missing
  int badCrcOnly = 0;     // recorded by digest only, present and damaged, or missing
  int notChecked = 0;     // present, but not checked (ReadTrouble::kNotChecked)
  int usableVolumes = 0;  // parity volumes 1..kLastReportedVolume found intact
};
[[nodiscard]] SetCounts CountSet(const SetModel& m);

// The report of the set: its files (a missing file whose content the last
// search found under another name, by the model's action log, is "found
// elsewhere"), its volumes 0..kLastReportedVolume, the counts and the log.
[[nodiscard]] SetReport BuildReport(const SetModel& m);

}  // namespace tarvel
