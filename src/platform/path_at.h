// SPDX-License-Identifier: GPL-3.0-or-later
// Reaching a path through an open folder, for the *at calls of the POSIX
// file layer (env_posix.cpp) and the interrupt clean-up.  Internal to
// src/platform.
//
// A path is reached from the innermost held folder that contains it (see
// Env::HoldFolder), else from the current folder or the root, as the system
// would reach it.  What is left after that is handed to the system as it is
// when it fits into PATH_MAX; a longer rest is walked a few folders at a
// time with openat, so a path of any length works.  Short paths outside held
// folders therefore behave exactly as with the plain path calls.
#pragma once

#include <memory>
#include <string>

#include "platform/env.h"

namespace tarvel::platform {

class HeldFolder;

// `path` as a folder descriptor and a name relative to it.  The descriptors
// stay open while the object lives, so that the *at calls made with them
// reach one folder even if another thread lets go of a hold meanwhile.
class PathAt {
 public:
  explicit PathAt(const std::string& path);
  ~PathAt();
  PathAt(const PathAt&) = delete;
  PathAt& operator=(const PathAt&) = delete;

  // False when a folder on the way could not be opened; Error() says why.
  explicit operator bool() const { return error_ == 0; }
  int Error() const { return error_; }

  // REQUIRES: the path was reached.
  int Folder() const { return walked_ >= 0 ? walked_ : base_; }
  // Relative to Folder() (or absolute, with AT_FDCWD); "." for the folder
  // itself.  Never empty unless the path was.
  const char* Name() const { return name_.c_str(); }

 private:
  std::shared_ptr<HeldFolder> held_;  // keeps base_ open when it is a held folder's
  int base_;
  int walked_ = -1;  // opened here while walking; closed with the object
  std::string name_;
  int error_ = 0;
};

// Opens `folder` and holds it until the returned object goes: Env::HoldFolder
// of the POSIX file layer.  A folder that cannot be opened is not held.
std::unique_ptr<FolderHold> HoldFolderOf(const std::string& folder);

}  // namespace tarvel::platform
