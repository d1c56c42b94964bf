// SPDX-License-Identifier: GPL-3.0-or-later
// The volume reader: the one place that reads the head of a volume file,
// and ReadVolume, which validates one volume file and loads its header
// values and file list into the set model (the first step of checking a
// set).  What is wrong with a volume comes back as data; the action that
// reads shows it.  Layout and the rules for what is rejected:
// docs/format.md.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/format.h"
#include "engine/format/model.h"
#include "engine/io/file_digests.h"
#include "platform/env.h"
#include "version.h"

namespace tarvel {

// The texts ReadVolume shows, in the order its checks run.
inline constexpr const char* kNotAVolumeText = "Not a PAR/Pxx file.";
inline constexpr const char* kWrongVersionText =
    "Wrong format version. Only 0.9 and 1.0 are supported.";
inline const std::string kHigherVersionText =
    std::string("This volume set was created with a higher version of Tarvel. ") + kVersionText +
    " is still compatible, but you should get the new one.";
inline constexpr const char* kChecksumErrorText = "Checksum error. File is corrupt.";
// A volume with a correct control digest whose contents do not fit the model.
inline constexpr const char* kDamagedListText =
    "The file list of this volume is damaged or not supported.";
// A file list naming something other than a plain file inside the set folder.
inline constexpr const char* kUnsafeNameText =
    "The file list of this volume names a file outside its folder.";

// A file list holding a name with '\' or a control character.
inline constexpr const char* kUnusableNameText =
    "The file list of this volume holds a file name with a backslash or a control character, "
    "which no file of a set can have.";
// A file list in which two entries read back as the same name.
inline constexpr const char* kDuplicateNameText =
    "The file list of this volume names the same file twice.";

// What is wrong with a volume that is not read (the texts above, in the
// order the checks run; a volume of a newer writer is read all the same).
enum class VolumeProblem {
  kNone,
  kNotAVolume,     // shorter than the 96-byte header, or no "PAR\0" at offset 0
  kWrongVersion,   // a version other than 1.0 or 0.9
  kChecksumError,  // the stored control digest differs from md5from32 of the file
  kDamagedList,    // header values or file list that do not fit
  kUnsafeName,     // a name that is empty, ".", ".." or holds '/' or NUL
  kUnusableName,   // a name with '\' or a control character
  kDuplicateName,  // two entries with the same name
};
struct VolumeReading {
  VolumeProblem problem = VolumeProblem::kNone;
  // Written by a newer version of this program (kHigherVersionText).
  bool newerWriter = false;
  // The control digest as read, when it was right and the file was the
  // same from its opening to the end of the reading (its stamp then), so
  // that the volume search of the same check need not read it again.
  std::optional<ControlReading> control;
  FileStamp stamp{};
};
// The system's text of a problem ("" for kNone).
std::string ProblemText(VolumeProblem problem);

// Checks, in this order, each failing one ending the reading with its
// problem: the file is opened (a FileError from the Env passes through); it
// is a volume; of a known version; writer 1 newer than this program
// (kGenerator) is noted and reading goes on; its control digest, computed
// only now; its header values and list; its names.  On success loads
// SetHash, FileCount, FileListOffset, FileListSize, DataOffset, DataSize,
// BiggestFileSize (largest filesize of all entries), SetStampNs (the volume
// file's modification time) and FileTable slots 0..FileCount-1 (slots above
// are emptied).  With a problem the model holds exactly what it held
// before.  The file is closed on every path.
[[nodiscard]] VolumeReading ReadVolume(SetModel& model, Env& env, const std::string& path);

// The head of a volume file: its first kHeaderSize bytes, as many as it has
// (the rest zero), and what they say it is.
struct VolumeHead {
  std::array<std::uint8_t, kHeaderSize> raw{};
  std::size_t present = 0;
  VolumeKind kind = VolumeKind::kNotVolume;
  [[nodiscard]] bool Whole() const { return present == raw.size(); }
  [[nodiscard]] VolumeHeader Header() const { return DecodeHeader(raw); }
};
// The one reader of volume headers.  Read errors of the open file pass on.
[[nodiscard]] VolumeHead ReadHead(File& file);
// The head of the file at `path`, or nothing when it cannot be opened or read.
[[nodiscard]] std::optional<VolumeHead> ReadHead(Env& env, const std::string& path);
// The header of the file at `path` when it is a volume of a known version
// with a whole header; nothing otherwise.
[[nodiscard]] std::optional<VolumeHeader> ReadVolumeHeader(Env& env, const std::string& path);

// The names the file list of the volume at `path` holds, from its header and
// list alone: the control digest is not verified, so this costs two small
// reads (for learning which names the sets of a folder list).  Empty when
// the file cannot be opened or read, is no volume, or its list does not fit.
std::vector<std::string> ListedNames(Env& env, const std::string& path);

}  // namespace tarvel
