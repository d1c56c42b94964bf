// SPDX-License-Identifier: GPL-3.0-or-later
// The report of a checked set, as data: every listed file with its state
// and what the check learnt of it, every volume found, the totals, and
// what was done to the files since the set was read.  The report's lines
// (the File report window's, tarvel-cli's) are made from it by ReportLines,
// each with its kind, which the windows mark; the notes below the lines by
// ReportNotes; tarvel-cli's JSON takes its fields.  Nothing a front end
// shows of a set comes from anywhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_action.h"

namespace tarvel {

enum class FileState {
  kOk,              // there and intact
  kDamaged,         // there, with other content (or unreadable as a failing disk is)
  kMissing,         // not there
  kFoundElsewhere,  // not there, but its content was found under another name (foundAs)
  kNotChecked,      // there, but it could not be opened or read, for a reason not damage
};

struct FileReport {
  std::string name;  // as listed
  bool inParity = false;
  std::int64_t size = 0;  // as listed
  FileState state = FileState::kOk;
  std::string foundAs;  // kFoundElsewhere: the name its content was found under
  // A read or the open failed: "a read failed at byte N (reason)" or
  // "opening it failed (reason)".
  std::string readError;
  bool changedAfterSet = false;  // damaged, and modified later than the set
  int holdsVolume = -1;          // the name holds this volume of the set (>= 0)
};

enum class VolumeState { kOk, kDamaged, kNotChecked };

struct VolumeReport {
  std::string name;
  int number = 0;  // 0 is the main volume, which the report's lines leave out
  VolumeState state = VolumeState::kOk;
  std::string readError;  // as for a file
};

struct SetReport {
  // The set's name, for a window's title: the base name of the volume it
  // was read from ("photos" of photos.P03), or that volume's bare name
  // when it is not named as a volume.
  std::string setName;
  std::vector<FileReport> files;      // in the order of the list
  std::vector<VolumeReport> volumes;  // found in the set folder, by number
  int badFiles = 0;                   // in parity, bad or missing ("N bad/missing files.")
  int badCrcOnly = 0;                 // recorded by digest only, bad or missing
  int notChecked = 0;                 // files not checked ("N files not checked.")
  int usableVolumes = 0;              // parity volumes found that a restore may use
  FileActionLog actions;              // what was done since the set was read
};

// What a line of the report is, for the windows to mark it.
enum class LineKind {
  kBlank,    // " "
  kGood,     // a file or volume that is OK
  kBad,      // a file or volume damaged, missing or not checked
  kTotal,    // the totals of the files and of the volumes
  kHeading,  // "Found parity volumes:"
};

struct ReportLine {
  LineKind kind = LineKind::kBlank;
  std::string text;
  // The bytes of `text` that are the name of a file or volume, from its
  // start (0 for lines without one).
  std::size_t nameLength = 0;
};

// The system's report lines of a set.
std::vector<ReportLine> ReportLines(const SetReport& report);
// Only their texts.
std::vector<std::string> ReportTexts(const SetReport& report);
// What the lines do not say: why a file or volume that could not be read is
// reported as it is ("f2.bin: a read failed at byte 1500000 (Input/output
// error)"), which damaged files changed after the set was made, which
// listed names hold volumes of the set.  In the order of the lines.
std::vector<std::string> ReportNotes(const SetReport& report);

// `text` with every control character (0x00..0x1F, 0x7F and the UTF-8 form
// of U+0080..U+009F) shown as '?', for report lines and messages: a name
// never reaches a terminal or window as a command.
std::string PrintableText(const std::string& text);

}  // namespace tarvel
