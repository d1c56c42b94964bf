// The rules of creating a set that both front ends apply.
#include "engine/create_rules.h"

#include <algorithm>
#include <filesystem>

namespace tarvel {

std::string CheckFileChoice(std::vector<std::string>& paths) {
  const int count = static_cast<int>(paths.size());
  if (count < kFewestSetFiles || count > kMostSetFiles) return "Only 2 - 250 files are supported.";
  std::sort(paths.begin(), paths.end());
  const std::string folder = FolderOf(paths.front());
  for (const std::string& p : paths) {
    if (FolderOf(p) != folder) return "All files of a set must lie in one folder: " + p;
  }
  for (const std::string& p : paths) {
    if (BareName(p).starts_with('.')) {
      return "A hidden file cannot be protected, as a check would not find it under another name: " + p;
    }
  }
  if (std::adjacent_find(paths.begin(), paths.end()) != paths.end()) return "A file is named twice.";
  for (const std::string& p : paths) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(p, ec)) throw FileError(CannotOpenText(p));
  }
  return "";
}

ParityCountBounds ParityCountBoundsFor(int fileCount) {
  return {1, std::max(1, std::min(fileCount, 255 - fileCount))};
}

int DefaultParityCount(int fileCount) {
  const ParityCountBounds b = ParityCountBoundsFor(fileCount);
  return std::clamp(fileCount / 10 + 1, b.min, b.max);
}

std::string DefaultBaseName(const std::string& firstName) {
  const std::size_t dot = firstName.rfind('.');
  return dot == std::string::npos ? firstName : firstName.substr(0, dot);
}

bool GivesHiddenVolumes(const std::string& baseName) {
  const std::string bare = BareName(baseName);
  return bare.empty() || bare.starts_with('.');
}

std::int64_t FreeSpaceNeeded(std::int64_t biggestFileSize, int parityCount) {
  return biggestFileSize * parityCount + kFreeSpaceMargin;
}

bool HasRoomForVolumes(Env& env, const std::string& baseName, std::int64_t biggestFileSize,
                       int parityCount) {
  return FreeSpaceNeeded(biggestFileSize, parityCount) <= env.FreeSpace(baseName);
}

}  // namespace tarvel
