// SPDX-License-Identifier: GPL-3.0-or-later
// What an action did to the files of a set, one record per event in the
// order it happened: a file found by content under another name and what
// became of it, a file rebuilt and a file that could not be.  The engine
// fills the record as it goes; front ends that report to programs read it
// (the report lines never depend on it).
#pragma once

#include <string>
#include <vector>

namespace tarvel {

enum class FileActionKind {
  kFound,         // `name` is missing; `other` has its content
  kRenamed,       // `other` was renamed to `name`
  kRenameFailed,  // the file system refused to rename `other` to `name`
  kCopied,        // `other` was copied to `name`
  kCopyFailed,    // copying `other` to `name` failed; `name` is as it was
  kRebuilt,       // `name` was rebuilt from the parity volumes
  kNotRebuilt,    // rebuilding `name` failed; it is as it was
};

struct FileAction {
  FileActionKind kind;
  std::string name;   // the name of the file of the set
  std::string other;  // the found file (kFound, renames and copies); else empty
};

using FileActionLog = std::vector<FileAction>;

}  // namespace tarvel
