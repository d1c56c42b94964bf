// SPDX-License-Identifier: GPL-3.0-or-later
// Encoding and decoding of the on-disk volume layout (see docs/format.md):
// the 96-byte header and the file-list entries, little-endian.  Nothing else
// in Tarvel turns volume bytes into values or back.
//
// THIS HEADER IS A CONTRACT SHARED BY THE WHOLE ENGINE: add, do not rename.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "checksum/md5.h"
#include "engine/format/model.h"
#include "version.h"

namespace tarvel {

constexpr std::size_t kHeaderSize = 96;
constexpr std::uint32_t kFormatVersion10 = 0x00010000;
constexpr std::uint32_t kFormatVersion09 = 0x00000900;
// Writer 1 and the program's version: 0x01000205 for 0.2.5.
constexpr std::uint32_t kGenerator =
    0x01000000u | kVersionMajor << 16 | kVersionMinor << 8 | kVersionPatch;

// Header field offsets (docs/format.md, "Header").
constexpr std::size_t kOffMagic = 0, kOffVersion = 8, kOffGenerator = 12, kOffControl = 16,
                      kOffSetHash = 32, kOffVolumeNumber = 48, kOffFileCount = 56,
                      kOffFileListOffset = 64, kOffFileListSize = 72, kOffDataOffset = 80,
                      kOffDataSize = 88;

struct VolumeHeader {
  std::array<std::uint8_t, 8> magic{{'P', 'A', 'R', 0, 0, 0, 0, 0}};
  std::uint32_t version = kFormatVersion10;
  std::uint32_t generator = kGenerator;
  md5digest control{};
  md5digest setHash{};
  std::uint64_t volumeNumber = 0;
  std::uint64_t fileCount = 0;
  std::uint64_t fileListOffset = kHeaderSize;
  std::uint64_t fileListSize = 0;
  std::uint64_t dataOffset = 0;
  std::uint64_t dataSize = 0;
};

std::array<std::uint8_t, kHeaderSize> EncodeHeader(const VolumeHeader& h);

// What the first bytes of a file say it is.  The one test of "is this a
// volume" that the reader, the search for a set's volumes, the walk over
// folders and the windows' drop all use: a volume starts with "PAR" and a
// zero byte (bytes 4 to 7 are not looked at); of those, one of a version
// other than 1.0 or 0.9 cannot be read.
enum class VolumeKind { kNotVolume, kUnknownVersion, kVolume };
// `head`: the file's first bytes, as many as it has up to kHeaderSize.
VolumeKind RecogniseVolume(std::span<const std::uint8_t> head);
VolumeHeader DecodeHeader(std::span<const std::uint8_t, kHeaderSize> bytes);

// Little-endian helpers, byte by byte.
void PutU32(std::uint8_t* p, std::uint32_t v);
void PutU64(std::uint8_t* p, std::uint64_t v);
std::uint32_t GetU32(const std::uint8_t* p);
std::uint64_t GetU64(const std::uint8_t* p);

// Names: UTF-8 bytes <-> UTF-16LE code units (docs/format.md, "Names").  A
// byte b that is not part of valid UTF-8 becomes the lone surrogate
// kEscapedByteBase + b and reads back as the byte b, so every name reads back
// as exactly its own bytes.  Any other unpaired surrogate reads back as U+FFFD.
constexpr char16_t kEscapedByteBase = 0xDC00;
std::u16string NameToUtf16(const std::string& name);
std::string NameFromUtf16(const std::u16string& units);
// 56 + 2 x the UTF-16 code units of name.
std::int64_t EntrySizeFor(const std::string& name);

// File-list entry field offsets, relative to the start of the entry
// (docs/format.md, "File-list entry").
constexpr std::size_t kEntryOffSize = 0, kEntryOffStatus = 8, kEntryOffFileSize = 16,
                      kEntryOffWhole = 24, kEntryOffHead = 40;
// The longest name an entry may carry, in UTF-16 code units (the longest
// path any supported file system allows), and so the largest entry accepted.
constexpr std::int64_t kMaxNameUnits = 32767;
constexpr std::int64_t kMaxEntrySize = kEntryFixedSize + 2 * kMaxNameUnits;

// Appends one file-list entry (entrysize, status, filesize, md5whole,
// md5head, UTF-16LE name) to `out`.
void AppendEntry(std::vector<std::uint8_t>& out, const fileentry& e);
// The whole file list of FileTable slots 0..FileCount-1.
std::vector<std::uint8_t> EncodeFileList(const SetModel& m);

// Decodes the entry at the start of `bytes`: entrysize, status, filesize,
// both digests and the name (path, crcok, present stay empty).  Returns
// nullopt when the entry is malformed: entry size below 56, odd or above
// kMaxEntrySize, running past the end of `bytes`, or a file size that does
// not fit a signed 64-bit value.  The next entry starts `entrysize` bytes on.
std::optional<fileentry> DecodeEntry(std::span<const std::uint8_t> bytes);

// True when the name holds a control character: a byte 0x01..0x1F or 0x7F.
bool HasControlCharacter(const std::string& name);
// True for a name a file list may hold beyond IsPlainName: free of '\' and of
// control characters, which cannot name a file on every system where
// volumes are made.
bool IsListableName(const std::string& name);

// True for a name that can only mean a file directly inside the set folder:
// not empty, not "." or "..", and free of '/' and NUL.
bool IsPlainName(const std::string& name);

}  // namespace tarvel
