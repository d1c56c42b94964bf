// SPDX-License-Identifier: GPL-3.0-or-later
// The set model's table operations and the naming of volume files.
#include "engine/format/model.h"

#include <cstdio>

#include "platform/env.h"

namespace tarvel {

void SetModel::ResetTables() {
  for (auto* table : {&FileTable, &ParityFileTable, &VolumeTable}) {
    for (fileentry& slot : *table) slot = fileentry{};
  }
}

void SetModel::CompactParityFiles() {
  // All 256 slots are scanned, not only the first FileCount: slots beyond the
  // set are empty after ResetTables and contribute nothing.
  ParityFileCount = 0;
  for (const fileentry& e : FileTable) {
    if (e.InParity()) ParityFileTable[ParityFileCount++] = e;
  }
}

bool ChangedAfterSet(const fileentry& e, const SetModel& m) {
  const bool damaged = e.present != 0 && e.crcok == 0 &&
                       (e.trouble == ReadTrouble::kNone || e.trouble == ReadTrouble::kDamaged);
  return damaged && m.SetStampNs > 0 && e.modifiedNs > m.SetStampNs;
}

std::string ReadFailureText(const fileentry& e) {
  const std::string what = e.troubleAt >= 0 ? "a read failed at byte " + std::to_string(e.troubleAt)
                                            : std::string("opening it failed");
  return WithReason(what, e.troubleReason);
}

}  // namespace tarvel
