// The set model's table operations and the naming of volume files.
#include "engine/model.h"

#include <cstdio>

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

}  // namespace tarvel
