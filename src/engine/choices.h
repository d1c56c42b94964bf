// SPDX-License-Identifier: GPL-3.0-or-later
// What a create may be asked for: the limits of a set and the rules of a
// choice that the front ends check before they give it (tarvel-cli's -n
// and -o), so that what one front end accepts the other accepts too.  Each
// limit is spelled here once.
#pragma once

#include <string>

#include "parity/rs.h"

namespace tarvel {

inline constexpr int kFewestSetFiles = 2;
inline constexpr int kMostSetFiles = 250;
// Files and parity volumes of one set together, at most: the rows the
// parity arithmetic has for them.
inline constexpr int kMostFilesAndVolumes = kMaxParityFiles;

// The numbers of parity volumes a set of `fileCount` files may have: files
// plus volumes stay at or below kMostFilesAndVolumes, and never more volumes
// than files.
struct ParityCountBounds {
  int min = 1;
  int max = 1;
};
ParityCountBounds ParityCountBoundsFor(int fileCount);
// One volume per ten files, plus one, brought into the bounds.
int DefaultParityCount(int fileCount);

// True when volumes named after `baseName` would be hidden (the bare part is
// empty or starts with "."), so that no check would ever find them.
[[nodiscard]] bool GivesHiddenVolumes(const std::string& baseName);

}  // namespace tarvel
