// SPDX-License-Identifier: GPL-3.0-or-later
// The rules that decide whether a set may be created, the defaults a create
// starts from and what is said of its plan (the limits and the rules the
// front ends check themselves are in engine/choices.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/choices.h"
#include "engine/interaction.h"
#include "engine/io/replacing_writer.h"
#include "platform/env.h"

namespace tarvel {

struct SetModel;

// "Only 2 - 250 files are supported."
std::string FileCountRefusal();
// A create with no file in parity.
inline constexpr char kNoFileInParityText[] =
    "No file is included in the parity data, so parity volumes would protect nothing. "
    "Include at least one file in parity.";
// Parity Properties' refusals of a count and base name.
inline constexpr char kNoRoomText[] = "Not enough free disk space for this.";
inline constexpr char kHiddenVolumesText[] =
    "Volumes named after this file name would be hidden, and no check would find them. Choose "
    "another name.";
// Free space kept beyond the parity data when volumes are written.
inline constexpr std::int64_t kFreeSpaceMargin = 1000000;

// The device and inode of the folder `folder` ("" the current folder), links
// followed; nothing when it is no folder.  Two spellings name one folder
// exactly when their identities are equal.
std::optional<FileIdentity> FolderIdentity(Env& env, const std::string& folder);

// Sorts the chosen paths into set order (byte-wise ascending by bare name,
// which is the order of the files in the volumes) and returns the message
// that refuses the choice, or "" when a create may go ahead with it: 2 to
// 250 files, all in one folder (a set lists bare names; folders spelled
// otherwise, through a link, are compared by device and inode), none hidden
// (no check would find it), none named twice.  A path that is no regular
// file throws FileError (cannot be opened, with the system's reason).
// REQUIRES: every path absolute and normalised.
[[nodiscard]] std::string CheckFileChoice(Env& env, std::vector<std::string>& paths);

// The base name offered for a set whose first file is `firstName`: the name
// without its extension (the part from the last "." on), "archive.tar.gz"
// giving "archive.tar".
std::string DefaultBaseName(const std::string& firstName);

// What the analysis in `model` found, proposed as Parity Properties shows it:
// the bounds and default of the parity count for its file count, the
// default base name, and the refusal of a count and name (hidden volumes, a
// missing folder, no room) checked against `env` when asked.
SetProposal ProposeSet(Env& env, const SetModel& model);

// The message of a create that failed because a file changed while the set
// was being created: "The file PATH changed while the set was being created."
std::string FileChangedText(const std::string& path);

// The message of a create that found a volume name taken when it came to
// put its volumes in place, a name that was free when it was planned:
// "The volume PATH was created meanwhile by another program. Nothing was
// written."
std::string CreatedMeanwhileText(const std::string& volume);

// The first of the volume names of `baseName` with `parityCount` parity
// volumes that names one of the files at `paths` (compared by device and
// inode, links followed and not), or "" when none does: such a volume would
// destroy the very file it protects.
std::string VolumeReplacingASetFile(Env& env, const std::vector<std::string>& paths,
                                    const std::string& baseName, int parityCount);

// Where the volumes of a new set go, against what is there already.
struct VolumePlan {
  std::string filesFolder;
  std::string volumesFolder;
  // The volumes lie in another folder than the files (folders compared by
  // device and inode): a check, which looks for the files beside the
  // volumes, would not find them there.
  bool awayFromFiles = false;
  // Volumes 0..parityCount of the base name that exist and would be replaced.
  std::vector<std::string> existing;
  // Volumes beyond the new set's last one that are volumes of the set being
  // replaced (plain files whose headers carry the set digest of a volume in
  // `existing`, none of them a file being protected): removed in the same
  // commit that puts the new set in place.
  std::vector<RemovedWithCommit> removed;
  // Names beyond the new set's last volume that exist and are no volume of
  // the set being replaced (another set's, a link, no volume at all): these
  // stay as they are.
  std::vector<std::string> leftOver;

  // `existing`, then the names of `removed`: what a yes replaces.
  std::vector<std::string> Replaced() const;
};
// A file beyond the new set's last volume that cannot be opened or read
// throws FileError (nothing is written: what a yes would replace is not
// known).
// REQUIRES: `setFiles` are the paths of the files being protected.
VolumePlan PlanVolumes(Env& env, const std::string& filesFolder, const std::string& baseName,
                       int parityCount, const std::vector<std::string>& setFiles = {});

// What the front ends say about a plan.
//   the windows, before writing: "The volumes will be in FOLDER, but a check
//   looks for the files beside the volumes. Create them there?"
std::string AwayFromFilesQuestion(const VolumePlan& plan);
//   tarvel-cli, which writes them without asking
std::string AwayFromFilesWarning(const VolumePlan& plan);
//   the windows: "NAME.PAR and N other volumes exist. Replace them?",
//   counting what a yes replaces and removes
std::string ReplaceQuestion(const VolumePlan& plan);
//   tarvel-cli without --force, counting the same
std::string ReplaceRefusal(const VolumePlan& plan);
//   tarvel-cli with --force, after creating, when plan.removed is not empty:
//   "NAME.P03, beyond the new set's last volume, was removed with the set it
//   replaced."
std::string RemovedNote(const VolumePlan& plan);
//   both, after creating, when plan.leftOver is not empty
std::string LeftOverNote(const VolumePlan& plan);

// "The folder FOLDER does not exist." when the folder of `baseName`
// (resolved against the current folder, and named so) is no folder; else "".
std::string MissingFolderRefusal(Env& env, const std::string& baseName);

// Bytes that must be free where the volumes go: the parity data plus a margin.
std::int64_t FreeSpaceNeeded(std::int64_t biggestFileSize, int parityCount);
// True when the file system holding the folder of `baseName` (resolved
// against the current folder) has that room.  A folder that does not exist
// has no room.
[[nodiscard]] bool HasRoomForVolumes(Env& env, const std::string& baseName,
                                     std::int64_t biggestFileSize, int parityCount);

}  // namespace tarvel
