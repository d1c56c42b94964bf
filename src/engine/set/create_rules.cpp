// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of creating a set that both front ends apply.
#include "engine/set/create_rules.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include "engine/format/format.h"
#include "engine/format/model.h"
#include "engine/format/volume_names.h"
#include "engine/format/volume_reader.h"
#include "engine/report.h"
#include "platform/language.h"

namespace tarvel {

std::string FileCountRefusal() {
  return TrFill("Only %s - %s files are supported.",
                {std::to_string(kFewestSetFiles), std::to_string(kMostSetFiles)});
}

std::optional<FileIdentity> FolderIdentity(Env& env, const std::string& folder) {
  // "FOLDER/." names a folder only: a file where a folder should be has no
  // identity here.
  return env.Identity(JoinPath(folder.empty() ? "." : folder, "."), /*followLink=*/true);
}

std::string CheckFileChoice(Env& env, std::vector<std::string>& paths) {
  const int count = static_cast<int>(paths.size());
  if (count < kFewestSetFiles || count > kMostSetFiles) return FileCountRefusal();
  std::sort(paths.begin(), paths.end());
  const std::string folder = FolderOf(paths.front());
  bool spelledOtherwise = false;
  for (const std::string& p : paths) {
    if (FolderOf(p) == folder) continue;
    // A folder spelled otherwise (through a link) is the same folder when it
    // is the same by device and inode.
    const std::optional<FileIdentity> id = FolderIdentity(env, folder);
    if (!id || FolderIdentity(env, FolderOf(p)) != id) {
      return TrFill("All files of a set must lie in one folder: %s", {p});
    }
    spelledOtherwise = true;
  }
  // In one folder a file is its bare name, and the set lists the files in
  // the order of their names.  Spelled from one folder, the paths sort so
  // already.
  const auto byName = [](const std::string& a, const std::string& b) {
    const std::string x = BareName(a), y = BareName(b);
    return x != y ? x < y : a < b;
  };
  if (spelledOtherwise) std::sort(paths.begin(), paths.end(), byName);
  for (const std::string& p : paths) {
    if (BareName(p).starts_with('.')) {
      return "A hidden file cannot be protected, as a check would not find it under another "
             "name: " +
             p;
    }
  }
  if (std::adjacent_find(paths.begin(), paths.end(),
                         [](const std::string& a, const std::string& b) {
                           return BareName(a) == BareName(b);
                         }) != paths.end()) {
    return "A file is named twice.";
  }
  for (const std::string& p : paths) {
    if (env.IsPlainFile(FolderOf(p), BareName(p))) continue;
    // Opening says why (no such file, a folder, a pipe); a device opens, but
    // is no file to protect either.
    (void)env.OpenRead(p);
    throw FileError(CannotOpenText(p), EINVAL);
  }
  return "";
}

ParityCountBounds ParityCountBoundsFor(int fileCount) {
  return {1, std::max(1, std::min(fileCount, kMostFilesAndVolumes - fileCount))};
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

std::string MissingFolderRefusal(Env& env, const std::string& baseName) {
  const std::string folder = FolderOf(baseName);
  if (FolderIdentity(env, folder)) return "";
  const std::string shown =
      folder.starts_with('/') ? folder : JoinPath(env.CurrentFolder(), folder);
  return TrFill("The folder %s does not exist.", {shown});
}

std::string FileChangedText(const std::string& path) {
  return TrFill("The file %s changed while the set was being created.", {path});
}

std::string CreatedMeanwhileText(const std::string& volume) {
  return TrFill("The volume %s was created meanwhile by another program. Nothing was written.",
                {PrintableText(volume)});
}

std::string VolumeReplacingASetFile(Env& env, const std::vector<std::string>& paths,
                                    const std::string& baseName, int parityCount) {
  std::vector<FileIdentity> protectedFiles;
  for (const std::string& path : paths) {
    for (bool follow : {true, false}) {
      if (auto id = env.Identity(path, follow)) protectedFiles.push_back(*id);
    }
  }
  for (int n = 0; n <= parityCount; ++n) {
    const std::string name = VolumeFileName(baseName, n);
    for (bool follow : {true, false}) {
      const auto id = env.Identity(name, follow);
      if (id &&
          std::find(protectedFiles.begin(), protectedFiles.end(), *id) != protectedFiles.end()) {
        return name;
      }
    }
  }
  return "";
}

namespace {

// The header of the volume at `path`; nothing when the file is no volume.
// A file that cannot be opened or read throws FileError: whether it is a
// volume of the set being replaced cannot be told.
std::optional<VolumeHeader> HeaderOrThrow(Env& env, const std::string& path) {
  const std::unique_ptr<File> file = env.OpenRead(path);
  const VolumeHead head = ReadHead(*file);
  if (!head.Whole() || head.kind != VolumeKind::kVolume) return std::nullopt;
  return head.Header();
}

}  // namespace

VolumePlan PlanVolumes(Env& env, const std::string& filesFolder, const std::string& baseName,
                       int parityCount, const std::vector<std::string>& setFiles) {
  VolumePlan plan;
  plan.filesFolder = filesFolder;
  plan.volumesFolder = FolderOf(baseName);
  const auto files = FolderIdentity(env, plan.filesFolder);
  const auto volumes = FolderIdentity(env, plan.volumesFolder);
  // A folder that does not exist (or a file where a folder should be) fails
  // the create on its own.
  plan.awayFromFiles = files && volumes && *files != *volumes;
  std::vector<std::string> beyond;
  for (int n = 0; n < kVolumeNumbers; ++n) {
    const std::string name = VolumeFileName(baseName, n);
    if (!env.Identity(name, /*followLink=*/false)) continue;
    (n <= parityCount ? plan.existing : beyond).push_back(name);
  }
  // The set being replaced is known by the set digests of the volumes the
  // new ones replace; a file beyond them is one of its volumes only by
  // content, and only as a plain file (a link is no volume of this folder's).
  std::vector<md5digest> replaced;
  for (const std::string& name : plan.existing) {
    if (env.IsSymbolicLink(name)) continue;
    if (const auto h = ReadVolumeHeader(env, name)) replaced.push_back(h->setHash);
  }
  std::vector<FileIdentity> protectedFiles;
  for (const std::string& path : setFiles) {
    for (bool follow : {true, false}) {
      if (auto id = env.Identity(path, follow)) protectedFiles.push_back(*id);
    }
  }
  for (const std::string& name : beyond) {
    const auto id = env.Identity(name, /*followLink=*/false);
    const auto h = env.IsSymbolicLink(name) ? std::nullopt : HeaderOrThrow(env, name);
    const bool ofReplacedSet =
        id && h &&
        std::any_of(replaced.begin(), replaced.end(),
                    [&h](const md5digest& d) { return md5equal(d, h->setHash); }) &&
        std::find(protectedFiles.begin(), protectedFiles.end(), *id) == protectedFiles.end();
    if (ofReplacedSet) {
      plan.removed.push_back({name, *id});
    } else {
      plan.leftOver.push_back(name);
    }
  }
  return plan;
}

std::vector<std::string> VolumePlan::Replaced() const {
  std::vector<std::string> names = existing;
  for (const RemovedWithCommit& r : removed) names.push_back(r.path);
  return names;
}

namespace {

std::string ShownFolder(const std::string& folder) { return folder.empty() ? "." : folder; }

// "NAME" or "NAME and N other volumes".
std::string NameAndOthers(const std::vector<std::string>& names, bool bare) {
  const std::string first = bare ? BareName(names.front()) : names.front();
  if (names.size() == 1) return first;
  return TrFill("%s and %s other volumes", {first, std::to_string(names.size() - 1)});
}

}  // namespace

std::string AwayFromFilesQuestion(const VolumePlan& plan) {
  return TrFill(
      "The volumes will be in %s, but a check looks for the files beside the volumes. Create "
      "them there?",
      {ShownFolder(plan.volumesFolder)});
}

std::string AwayFromFilesWarning(const VolumePlan& plan) {
  return TrFill(
      "The volumes are written to %s, away from the files in %s. A check looks for the files "
      "beside the volumes: put the volumes beside the files before checking the set.",
      {ShownFolder(plan.volumesFolder), ShownFolder(plan.filesFolder)});
}

std::string ReplaceQuestion(const VolumePlan& plan) {
  const std::vector<std::string> names = plan.Replaced();
  return TrFill(names.size() == 1 ? "%s exists. Replace it?" : "%s exist. Replace them?",
                {NameAndOthers(names, true)});
}

std::string ReplaceRefusal(const VolumePlan& plan) {
  const std::vector<std::string> names = plan.Replaced();
  return TrFill(names.size() == 1
                    ? "%s exists. Nothing was written; -f replaces the volumes of a set."
                    : "%s exist. Nothing was written; -f replaces the volumes of a set.",
                {NameAndOthers(names, false)});
}

std::string RemovedNote(const VolumePlan& plan) {
  std::vector<std::string> names;
  for (const RemovedWithCommit& r : plan.removed) names.push_back(r.path);
  const bool one = names.size() == 1;
  return TrFill(one ? "%s, beyond the new set's last volume, was removed with the set it "
                      "replaced."
                    : "%s, beyond the new set's last volume, were removed with the set it "
                      "replaced.",
                {NameAndOthers(names, true)});
}

std::string LeftOverNote(const VolumePlan& plan) {
  const bool one = plan.leftOver.size() == 1;
  return TrFill(one ? "%s, beyond the new set's last volume, was left as it was."
                    : "%s, beyond the new set's last volume, were left as they were.",
                {NameAndOthers(plan.leftOver, true)});
}

SetProposal ProposeSet(Env& env, const SetModel& m) {
  SetProposal p;
  p.fileCount = m.FileCount;
  p.biggestFileSize = m.BiggestFileSize;
  p.totalSize = m.TotalSize;
  const ParityCountBounds bounds = ParityCountBoundsFor(m.FileCount);
  p.fewestVolumes = bounds.min;
  p.mostVolumes = bounds.max;
  p.defaultVolumes = DefaultParityCount(m.FileCount);
  p.defaultBaseName = DefaultBaseName(m.FileTable[0].name);
  const std::int64_t biggest = m.BiggestFileSize;
  p.refusal = [&env, biggest](int parityCount, const std::string& baseName) -> std::string {
    if (GivesHiddenVolumes(baseName)) return kHiddenVolumesText;
    if (std::string missing = MissingFolderRefusal(env, baseName); !missing.empty()) return missing;
    if (!HasRoomForVolumes(env, baseName, biggest, parityCount)) return TR(kNoRoomText);
    return "";
  };
  return p;
}

}  // namespace tarvel
