// SPDX-License-Identifier: GPL-3.0-or-later
// The names of volume files: base name and extension by volume number.
#include "engine/format/volume_names.h"

#include <cstdio>

#include "engine/format/format.h"

namespace tarvel {

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
  for (int n = 0; n < kVolumeNumbers; ++n) {
    if (VolumeFileName("", n) != ext) continue;
    if (baseName != nullptr) *baseName = name.substr(0, dot);
    return n;
  }
  return std::nullopt;
}

}  // namespace tarvel
