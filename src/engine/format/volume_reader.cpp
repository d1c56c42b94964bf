// SPDX-License-Identifier: GPL-3.0-or-later
// ReadVolume: the checks of a volume file and the loading of its file list.
// Everything is decoded into a temporary first and committed to the model
// only when the whole volume has been accepted.
#include "engine/format/volume_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <utility>
#include <vector>

#include "checksum/md5.h"
#include "engine/io/file_digests.h"

namespace tarvel {

namespace {

constexpr std::uint64_t kMaxSize = std::numeric_limits<std::int64_t>::max();
constexpr std::uint32_t kGeneratorIdMask = 0xFF000000;

// What a volume contributes to the model, before it is committed.
struct LoadedVolume {
  VolumeHeader header;
  std::vector<fileentry> entries;
  std::int64_t biggest = 0;
  std::int64_t modifiedNs = 0;  // the volume file's modification time
};

// Checks the header's layout values against the file and decodes the list.
VolumeProblem LoadList(File& file, std::int64_t fileSize, LoadedVolume& v) {
  const VolumeHeader& h = v.header;
  if (h.fileCount > static_cast<std::uint64_t>(kTableSlots)) return VolumeProblem::kDamagedList;
  if (h.fileListOffset > kMaxSize || h.fileListSize > kMaxSize || h.dataOffset > kMaxSize ||
      h.dataSize > kMaxSize || h.dataSize > kMaxSize - h.dataOffset) {
    return VolumeProblem::kDamagedList;
  }
  // The list lies behind the header and inside the file, and is no larger
  // than its entries can be, so the one read below is bounded.
  const std::uint64_t size = static_cast<std::uint64_t>(fileSize);
  if (h.fileListOffset < kHeaderSize || h.fileListOffset > size ||
      h.fileListSize > size - h.fileListOffset ||
      h.fileListSize > h.fileCount * static_cast<std::uint64_t>(kMaxEntrySize)) {
    return VolumeProblem::kDamagedList;
  }

  std::vector<std::uint8_t> list(static_cast<std::size_t>(h.fileListSize));
  if (!list.empty() && file.ReadAt(static_cast<std::int64_t>(h.fileListOffset), list.data(),
                                   list.size()) != list.size()) {
    return VolumeProblem::kDamagedList;  // the file shrank after its size was taken
  }

  // Entries follow one another directly and must fill the list exactly.
  // Every name must lead to a file of its own in the set folder: two
  // entries of one name would both be verified and rebuilt in one file.
  std::span<const std::uint8_t> rest(list);
  std::set<std::string> names;
  for (std::uint64_t i = 0; i < h.fileCount; ++i) {
    std::optional<fileentry> e = DecodeEntry(rest);
    if (!e) return VolumeProblem::kDamagedList;
    if (!IsPlainName(e->name)) return VolumeProblem::kUnsafeName;
    if (!IsListableName(e->name)) return VolumeProblem::kUnusableName;
    if (!names.insert(e->name).second) return VolumeProblem::kDuplicateName;
    rest = rest.subspan(static_cast<std::size_t>(e->entrysize));
    if (e->filesize > v.biggest) v.biggest = e->filesize;
    v.entries.push_back(std::move(*e));
  }
  return rest.empty() ? VolumeProblem::kNone : VolumeProblem::kDamagedList;
}

void Commit(SetModel& model, LoadedVolume& v) {
  const VolumeHeader& h = v.header;
  model.SetHash = h.setHash;
  model.FileCount = static_cast<std::int32_t>(v.entries.size());
  model.FileListOffset = static_cast<std::int64_t>(h.fileListOffset);
  model.FileListSize = static_cast<std::int64_t>(h.fileListSize);
  model.DataOffset = static_cast<std::int64_t>(h.dataOffset);
  model.DataSize = static_cast<std::int64_t>(h.dataSize);
  model.BiggestFileSize = v.biggest;
  model.SetStampNs = v.modifiedNs;
  // Slots above the set are emptied too: CompactParityFiles scans all 256.
  for (std::size_t i = 0; i < model.FileTable.size(); ++i) {
    model.FileTable[i] = i < v.entries.size() ? std::move(v.entries[i]) : fileentry{};
  }
}

}  // namespace

std::string ProblemText(VolumeProblem problem) {
  switch (problem) {
    case VolumeProblem::kNone:
      return "";
    case VolumeProblem::kNotAVolume:
      return kNotAVolumeText;
    case VolumeProblem::kWrongVersion:
      return kWrongVersionText;
    case VolumeProblem::kChecksumError:
      return kChecksumErrorText;
    case VolumeProblem::kDamagedList:
      return kDamagedListText;
    case VolumeProblem::kUnsafeName:
      return kUnsafeNameText;
    case VolumeProblem::kUnusableName:
      return kUnusableNameText;
    case VolumeProblem::kDuplicateName:
      return kDuplicateNameText;
  }
  return "";
}

VolumeHead ReadHead(File& file) {
  VolumeHead head;
  head.present = file.ReadAt(0, head.raw.data(), head.raw.size());
  head.kind = RecogniseVolume(std::span(head.raw.data(), head.present));
  return head;
}

std::optional<VolumeHead> ReadHead(Env& env, const std::string& path) {
  try {
    return ReadHead(*env.OpenRead(path));
  } catch (const FileError&) {
    return std::nullopt;  // whatever it is, it cannot serve as a volume
  }
}

std::optional<VolumeHeader> ReadVolumeHeader(Env& env, const std::string& path) {
  const std::optional<VolumeHead> head = ReadHead(env, path);
  if (!head || !head->Whole() || head->kind != VolumeKind::kVolume) return std::nullopt;
  return head->Header();
}

VolumeReading ReadVolume(SetModel& model, Env& env, const std::string& path) {
  const std::unique_ptr<File> file = env.OpenRead(path);

  // The header as far as the file holds it; missing bytes read as zeros, so
  // a truncated volume fails the check its missing bytes belong to (a file
  // of fewer than 4 bytes is not a volume, one cut inside its header fails
  // the control digest).
  const std::int64_t fileSize = file->Size();
  const VolumeHead head = ReadHead(*file);
  LoadedVolume v;
  v.header = head.Header();
  v.modifiedNs = file->Stamp().modifiedNs;
  const VolumeHeader& h = v.header;

  VolumeReading reading;
  switch (head.kind) {
    case VolumeKind::kNotVolume:
      reading.problem = VolumeProblem::kNotAVolume;
      return reading;
    case VolumeKind::kUnknownVersion:
      reading.problem = VolumeProblem::kWrongVersion;
      return reading;
    case VolumeKind::kVolume:
      break;
  }
  reading.newerWriter = (h.generator & kGeneratorIdMask) == (kGenerator & kGeneratorIdMask) &&
                        h.generator > kGenerator;
  // Only a file that looks like a volume is hashed: any file can be named,
  // and hashing a large one only to refuse it would take minutes.  The
  // digest is taken of the open file, so the list read below is of the
  // same file that was hashed.
  const FileStamp opened = file->Stamp();
  const ControlReading control = ReadControlDigest(*file);
  if (!md5equal(h.control, control.whole)) {
    reading.problem = VolumeProblem::kChecksumError;
    return reading;
  }
  if (file->Stamp() == opened) {
    reading.control = control;
    reading.stamp = opened;
  }

  // A short file whose digest is right all the same has no room for a list.
  if (!head.Whole() || fileSize < static_cast<std::int64_t>(kHeaderSize)) {
    reading.problem = VolumeProblem::kDamagedList;
    return reading;
  }
  reading.problem = LoadList(*file, fileSize, v);
  if (reading.problem == VolumeProblem::kNone) Commit(model, v);
  return reading;
}

std::vector<std::string> ListedNames(Env& env, const std::string& path) {
  std::vector<std::string> names;
  try {
    const std::unique_ptr<File> file = env.OpenRead(path);
    const VolumeHead head = ReadHead(*file);
    if (!head.Whole() || head.kind != VolumeKind::kVolume) return names;
    LoadedVolume v;
    v.header = head.Header();
    if (LoadList(*file, file->Size(), v) != VolumeProblem::kNone) return names;
    for (fileentry& e : v.entries) names.push_back(std::move(e.name));
  } catch (const FileError&) {
    names.clear();  // unreadable: it tells nothing
  }
  return names;
}

}  // namespace tarvel
