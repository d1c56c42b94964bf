// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory model of one volume set: three 256-slot tables of
// `fileentry` records and the set-wide values.  The engine owns one model,
// which lives from one action to the next (a restore works on the set the
// check before it read); creating fills it from the chosen files, checking
// from a volume and the set folder, and the report is made from it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "checksum/md5.h"
#include "engine/file_action.h"

namespace tarvel {

// Volume numbers go from 0 (the main volume) to 255, the byte at
// kOffVolumeNumber; each table of the model has a slot for each.
constexpr int kVolumeNumbers = 256;
constexpr int kTableSlots = kVolumeNumbers;
constexpr std::int64_t kEntryFixedSize = 56;  // entry bytes before the name

// What kept a check from vouching for a file or volume by its digest alone.
enum class ReadTrouble : std::uint8_t {
  kNone,
  // A read (or the open) failed as a failing medium fails (an unreadable
  // sector): the file is damaged, and a repair rebuilds it like any other.
  kDamaged,
  // It could not be opened or read for a reason that says nothing of its
  // content (no permission, a loop of links): it is not checked, never
  // counted intact and never replaced.
  kNotChecked,
  // Files only: the name the list gives holds a volume of this very set,
  // which is used as a volume and never replaced.
  kIsVolume,
};

// One file of a set (FileTable, ParityFileTable) or one volume found in the
// set folder (VolumeTable: only name, md5whole, crcok, present,
// dataoffset, modifiedNs and the trouble fields are used).
struct fileentry {
  std::int64_t filesize = 0;
  std::uint64_t status = 0;  // bit 0 set: the file's data is in parity
  md5digest md5whole{};      // VolumeTable: the control digest stored in the volume
  md5digest md5head{};
  std::string name;  // bare name, UTF-8 bytes
  std::string path;  // full path as chosen for creation; empty when read from a volume
  std::int64_t entrysize = kEntryFixedSize;  // 56 + 2 x UTF-16 code units of name
  std::uint8_t crcok = 0;    // content has digest md5whole (volumes: control digest correct)
  std::uint8_t present = 0;  // a plain file of this name is in the set folder
  // VolumeTable: where this volume's parity data starts, from its own header
  // (a volume of an older list of the same files has its data elsewhere).
  std::int64_t dataoffset = 0;
  // Set by the check: what kept it from reading the file, the system's
  // reason (errno, 0 when unknown), and the offset at which the read that
  // failed began (-1: the file could not be opened).  kIsVolume: the
  // number of the volume it holds in `troubleAt`.
  ReadTrouble trouble = ReadTrouble::kNone;
  int troubleReason = 0;
  std::int64_t troubleAt = -1;
  // The file's modification time (ns since the epoch) when the check read
  // it, 0 when not known (nor for a damaged file whose name is a link).
  std::int64_t modifiedNs = 0;

  bool InParity() const { return (status & 1u) != 0; }
  // Present and holding its listed content.
  bool Intact() const { return present != 0 && crcok != 0; }
};

// RenameAnswer: what a found file's prompt answered for the rest of a
// search (0 ask, 1 rename, 2 copy, 3 leave alone).
enum class StandingRename : std::int32_t { kAsk = 0, kRename = 1, kCopy = 2, kLeave = 3 };
// RestoreAnswer: what the Restore prompt answered (0 none, 1 yes, 2 no, 3
// yes to all, 4 no to all); the last two stand for the rest of the restore.
enum class StandingRestore : std::int32_t {
  kNone = 0,
  kYes = 1,
  kNo = 2,
  kYesToAll = 3,
  kNoToAll = 4
};

struct SetModel {
  std::array<fileentry, kTableSlots> FileTable;
  std::array<fileentry, kTableSlots> ParityFileTable;
  std::array<fileentry, kTableSlots> VolumeTable;  // indexed by volume number

  std::int32_t FileCount = 0;
  std::int32_t ParityFileCount = 0;
  std::int64_t BiggestFileSize = 0;
  std::int64_t TotalSize = 0;
  md5digest SetHash{};
  std::int64_t FileListOffset = 0;
  std::int64_t FileListSize = 0;
  std::int64_t DataOffset = 0;
  std::int64_t DataSize = 0;
  // The modification time of the set (ns since the epoch): that of its
  // main volume when the check found one, else of the volume it read; 0
  // when not known.  A damaged file changed after it was probably edited on
  // purpose (ChangedAfterSet).
  std::int64_t SetStampNs = 0;
  // The answers of the File search and Restore prompts that stand for the
  // rest of a search or restore ("don't ask again for this set").
  StandingRename RenameAnswer = StandingRename::kAsk;
  StandingRestore RestoreAnswer = StandingRestore::kNone;

  // Where the set lives and how it was read: the set folder (absolute),
  // where its files and volumes are looked for by bare name, and the bare
  // name of the volume its list was read from.
  std::string Folder;
  std::string VolumeRead;
  // What the searches and restores since the set was read did to its files.
  FileActionLog Actions;

  // Every slot of the three tables becomes the empty entry; the set-wide
  // values stay as they are.
  void ResetTables();
  // ParityFileTable = the FileTable entries (all 256 slots) with status bit 0
  // set, in order; ParityFileCount = their number.  Later slots keep their contents.
  void CompactParityFiles();
};

// True for a file of the set that is damaged (present, not holding its
// listed content, and read or readable) and whose modification time is
// later than the set's: a person's newer work, rather than decay, which a
// repair must not take back unasked.
bool ChangedAfterSet(const fileentry& e, const SetModel& m);

// What went wrong when the file or volume `e` was read (ReadTrouble
// kDamaged or kNotChecked): "a read failed at byte N (reason)" or
// "opening it failed (reason)", the reason being the system's.
std::string ReadFailureText(const fileentry& e);

}  // namespace tarvel
