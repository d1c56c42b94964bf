// The in-memory model of one volume set: three 256-slot tables of
// `fileentry` records and the set-wide values.  The engine owns one model;
// creating fills it from the chosen files, checking from a volume and the
// set folder, restoring and the dialogs read it.
//
// THIS HEADER IS A CONTRACT SHARED BY THE WHOLE ENGINE: add, do not rename.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "checksum/md5.h"

namespace tarvel {

constexpr int kTableSlots = 256;
// Volumes up to this number are verified and reported; higher ones are not.
constexpr int kLastReportedVolume = 250;
constexpr std::int64_t kEntryFixedSize = 56;  // entry bytes before the name

// One file of a set (FileTable, ParityFileTable) or one volume found in the
// set folder (VolumeTable: only name, md5whole, crcok, present and
// dataoffset are used).
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

  bool InParity() const { return (status & 1u) != 0; }
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
  std::int32_t BadFileCount = 0;     // files in parity reported bad or missing
  std::int32_t CrcOnlyBadCount = 0;  // digest-only files reported bad or missing
  std::int32_t UsableVolumeCount = 0;
  std::int32_t RenameAnswer = 0;   // 0 ask, 1 rename, 2 copy, 3 leave alone
  std::int32_t RestoreAnswer = 0;  // 0 none, 1 yes, 2 no, 3 yes to all, 4 no to all

  // Every slot of the three tables becomes the empty entry; the set-wide
  // values stay as they are.
  void ResetTables();
  // ParityFileTable = the FileTable entries (all 256 slots) with status bit 0
  // set, in order; ParityFileCount = their number.  Later slots keep their contents.
  void CompactParityFiles();
};

// The file name of volume n of the set with the given base name:
// base.PAR for 0, base.P01..base.P99, then base.Q00, base.Q01, ... base.Q100 ...
std::string VolumeFileName(const std::string& baseName, int n);

}  // namespace tarvel
