// ReadVolume: validates one volume file and loads its header values and
// file list into the set model (the first step of checking a set).  The
// model is changed only when the volume is accepted.  Layout and the rules
// for what is rejected: docs/format.md.
#pragma once

#include <string>
#include <vector>

#include "engine/interaction.h"
#include "engine/set/model.h"
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

// Checks, in this order, each failing one shown through ui.Message:
//   the file is opened (a FileError from the Env passes through);
//   a file shorter than the 96-byte header, or without "PAR\0" at offset 0:
//     kNotAVolumeText;
//   a version other than 1.0 or 0.9: kWrongVersionText;
//   generator 1 newer than this program (kGenerator): kHigherVersionText, and
//   reading goes on;
//   stored control digest differs from md5from32 of the file, computed only
//     now: kChecksumErrorText;
//   header values or file list that do not fit: kDamagedListText;
//   a name that is empty, ".", ".." or contains '/' or NUL: kUnsafeNameText;
//   a name with '\' or a control character: kUnusableNameText;
//   two entries with the same name: kDuplicateNameText.
// On success loads SetHash, FileCount, FileListOffset, FileListSize,
// DataOffset, DataSize, BiggestFileSize (largest filesize of all entries),
// SetStampNs (the volume file's modification time) and
// FileTable slots 0..FileCount-1 (slots above are emptied) and returns true.
// On false the model holds exactly what it held before.  The file is closed
// on every path.
[[nodiscard]] bool ReadVolume(SetModel& model, Env& env, Interaction& ui, const std::string& path);

// The names the file list of the volume at `path` holds, from its header and
// list alone: the control digest is not verified, so this costs two small
// reads (for learning which names the sets of a folder list).  Empty when
// the file cannot be opened or read, is no volume, or its list does not fit.
std::vector<std::string> ListedNames(Env& env, const std::string& path);

}  // namespace tarvel
