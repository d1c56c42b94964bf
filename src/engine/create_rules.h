// The rules that decide whether a set may be created, and the defaults a
// create starts from.  The windows and the command line both apply these, so
// that a set one front end accepts the other accepts too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/env.h"

namespace tarvel {

// The program's version as every front end shows it ("Tarvel 0.2.5"); the
// volumes carry the same version in their generator field.
inline constexpr char kVersionText[] = "0.2.5";

inline constexpr int kFewestSetFiles = 2;
inline constexpr int kMostSetFiles = 250;
// Free space kept beyond the parity data when volumes are written.
inline constexpr std::int64_t kFreeSpaceMargin = 1000000;

// Sorts the chosen paths into set order (byte-wise ascending, which is the
// order of the files in the volumes) and returns the message that refuses
// the choice, or "" when a create may go ahead with it: 2 to 250 files, all
// in one folder (a set lists bare names), none hidden (no check would find
// it), none named twice.  A path that is no regular file throws FileError
// (cannot be opened).
// REQUIRES: every path absolute and normalised, so equal files have equal paths.
[[nodiscard]] std::string CheckFileChoice(std::vector<std::string>& paths);

// The numbers of parity volumes a set of `fileCount` files may have: files
// plus volumes stay at or below 255, and never more volumes than files.
struct ParityCountBounds {
  int min = 1;
  int max = 1;
};
ParityCountBounds ParityCountBoundsFor(int fileCount);
// One volume per ten files, plus one, brought into the bounds.
int DefaultParityCount(int fileCount);

// The base name offered for a set whose first file is `firstName`: the name
// without its extension (the part from the last "." on), "archive.tar.gz"
// giving "archive.tar".
std::string DefaultBaseName(const std::string& firstName);

// True when volumes named after `baseName` would be hidden (the bare part is
// empty or starts with "."), so that no check would ever find them.
[[nodiscard]] bool GivesHiddenVolumes(const std::string& baseName);

// Bytes that must be free where the volumes go: the parity data plus a margin.
std::int64_t FreeSpaceNeeded(std::int64_t biggestFileSize, int parityCount);
// True when the file system holding the folder of `baseName` (resolved
// against the current folder) has that room.  A folder that does not exist
// has no room.
[[nodiscard]] bool HasRoomForVolumes(Env& env, const std::string& baseName,
                                     std::int64_t biggestFileSize, int parityCount);

}  // namespace tarvel
