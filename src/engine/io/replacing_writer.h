// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a file of the set folder without ever destroying what was there
// before the new content is complete.  The content goes to a new hidden file
// in the same folder (a name starting with ".", so no folder listing of the
// engine sees it), readable by its owner only while it is written; Commit
// flushes it, gives it the permissions and owner of the file it replaces,
// renames it over the target and flushes the folder, so that a reported
// success survives a power cut.  A writer that is destroyed uncommitted
// removes its temporary file, so on any failure the target is exactly as it
// was.  Nothing is ever written through a symbolic link: a link standing at
// the target is replaced by the new file, and what it led to stays as it was.
//
// Several files that belong together (the volumes of a set) are put in place
// by CommitTogether: all of them, or none.
//
// A writer replaces whatever bears the target's name when it commits (the
// damaged file being rebuilt), unless it may only claim the name: a new
// volume whose name was free when the person was asked claims it only if
// it is still free, and never replaces what another program put there.
//
// The writer keeps the digests of what was written, in order from offset 0,
// so that the caller can prove the new content before committing it without
// reading it back; a caller that takes the digests itself (many files side
// by side, see StreamDigests) turns that off.
//
// Owned by the engine (restoring and the copy of a file found by content).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "checksum/md5.h"
#include "platform/env.h"

namespace tarvel {

struct RemovedWithCommit;

class ReplacingWriter {
 public:
  // Creates the temporary file next to `targetPath`.  Throws FileError
  // naming the target when no temporary file can be created.  Without
  // `keepDigests`, Holds may not be called.
  ReplacingWriter(Env& env, const std::string& targetPath, bool keepDigests = true);
  ~ReplacingWriter();
  ReplacingWriter(const ReplacingWriter&) = delete;
  ReplacingWriter& operator=(const ReplacingWriter&) = delete;

  // Writes bytes at `offset` of the new content.  Throws FileError naming
  // the target when the write fails or falls short.
  void WriteAt(std::int64_t offset, std::span<const std::uint8_t> bytes);

  // Reads back up to `n` bytes of the new content at `offset` (a digest of
  // what is on disk, of bytes written out of order); fewer only at its end.
  // Throws FileError naming the target when the read fails.
  [[nodiscard]] std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t n);

  // True when the bytes written so far, each write starting where the one
  // before ended, are `size` bytes long with the digest `whole` and, of
  // their first 16384 bytes, the digest `head`.
  [[nodiscard]] bool Holds(std::int64_t size, const md5digest& whole, const md5digest& head) const;

  // Starts flushing the new content, without waiting (see File::StartSync).
  void StartFlush() { file_->StartSync(); }

  // Gives the new content the modification time `ns` (see
  // File::SetModifiedTime); after the last write.
  void SetModifiedTime(std::int64_t ns) { file_->SetModifiedTime(ns); }

  // Flushes the new content to stable storage, so that a full disk shows
  // here, before anything is renamed.  Throws FileError naming the target;
  // the temporary file stays until the writer goes.  Optional before Commit.
  void Flush();

  // Flushes the new content, renames it over the target (replacing the old
  // file, if any) and flushes the target's folder: CommitTogether of this
  // writer alone.  Throws FileError naming the target on failure; the target
  // is then as it was, and the temporary file is removed.
  void Commit();

  // With false, the commit claims the target only if nothing bears its
  // name; a name taken by then fails the commit with NameTakenMeanwhile.
  void MayReplace(bool mayReplace) { mayReplace_ = mayReplace; }

  const std::string& TargetPath() const { return target_; }

 private:
  friend void CommitTogether(Env& env, std::span<ReplacingWriter* const> writers,
                             std::span<const RemovedWithCommit> removals);

  void Discard() noexcept;
  // The temporary file now bears the target's name: it is no longer this
  // writer's to remove.
  void Placed() noexcept;

  Env& env_;
  std::string target_;  // as given; named in error texts
  std::string temp_;
  std::unique_ptr<File> file_;
  int registration_ = -1;  // the temporary file's slot for removal on SIGINT/SIGTERM
  bool committed_ = false;
  bool keepDigests_ = true;
  bool mayReplace_ = true;
  Md5WholeAndHead digests_;  // of the bytes written in order from the start
  bool inOrder_ = true;
};

// Thrown by CommitTogether when a writer that may not replace (MayReplace)
// finds its target's name taken: another program made that file meanwhile.
// A FileError that cannot create the target (EEXIST) to whoever does not
// tell it apart.
class NameTakenMeanwhile : public FileError {
 public:
  explicit NameTakenMeanwhile(const std::string& name);
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
};

// A file that a commit removes as it puts the new files in place (a volume
// of the set being replaced that the new set does not reuse), with the
// identity it had when it was recognised: whatever bears the name by the
// commit, if not that very file, is another program's and stays.
struct RemovedWithCommit {
  std::string path;
  FileIdentity identity;
};

// Puts the new content of every writer in place, all or nothing: afterwards
// every target holds its writer's content, or, when a FileError is thrown,
// every target is exactly what it was before (a file, a link or nothing).
// Each file being replaced stays reachable under a held hidden name until
// every new file has its name; a rename that fails (a full quota, a file
// that may not be replaced, a name taken meanwhile) puts back those already
// replaced, and gives back the names already claimed: each is removed only
// while it is still this commit's file, never a file that another program
// put there since.  A target that did not exist is claimed only if it still
// does not.  The targets' folders are flushed before it returns, so what it
// reports is on disk.
// Interrupts (SIGINT, SIGTERM, SIGHUP) wait until it has ended either way.
// The files of `removals` go in the same commit: each is kept under a held
// hidden name with the files being replaced, its own name removed once
// every new file has its name, and put back with them on failure.
// The writers are committed on success; on failure they stay uncommitted
// and remove their temporary files when they go.
// REQUIRES: the targets are distinct and every writer uncommitted; no
// removal is a target.
void CommitTogether(Env& env, std::span<ReplacingWriter* const> writers,
                    std::span<const RemovedWithCommit> removals = {});

// The time now by the clock of the file system that holds `folder`, as it
// stamps files: the change time of a temporary file made there for that
// and removed again.  Nothing when no file can be made there.
std::optional<std::int64_t> FileSystemNow(Env& env, const std::string& folder);

// True for a name that ReplacingWriter gives its temporary files.
bool IsTemporaryName(const std::string& name);

// Removes the temporary files of this program in `folder` that no running
// action holds (left behind by a process that was killed).  Every action
// calls it for its set folder before it writes anything.  A name in `keep`
// (a file that the set lists, however unlikely its name) is never removed.
void RemoveAbandonedTemporaryFiles(Env& env, const std::string& folder,
                                   const std::vector<std::string>& keep = {});

}  // namespace tarvel
