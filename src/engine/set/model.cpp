// The set model's table operations and the naming of volume files.
#include "engine/set/model.h"

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

std::string VolumeFileName(const std::string& baseName, int n) {
  if (n == 0) return baseName + ".PAR";
  // .P01 to .P99, then .Q00, .Q01, ... with at least two digits (.Q100 for 200).
  char ext[16];
  if (n >= 100) {
    std::snprintf(ext, sizeof ext, ".Q%02d", n - 100);
  } else {
    std::snprintf(ext, sizeof ext, ".P%02d", n);
  }
  return baseName + ext;
}

std::optional<int> VolumeNumberOfName(const std::string& name, std::string* baseName) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return std::nullopt;
  std::string ext = name.substr(dot);
  for (char& c : ext) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  // Only the spellings VolumeFileName gives (.P01, not .P1 or .P001).
  for (int n = 0; n < kTableSlots; ++n) {
    if (VolumeFileName("", n) != ext) continue;
    if (baseName != nullptr) *baseName = name.substr(0, dot);
    return n;
  }
  return std::nullopt;
}

}  // namespace tarvel
