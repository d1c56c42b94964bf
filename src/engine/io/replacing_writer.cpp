// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/io/replacing_writer.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <string_view>

#include "platform/interrupt_cleanup.h"

namespace tarvel {
namespace {

constexpr int kNameAttempts = 8;
constexpr std::string_view kTemporaryPrefix = ".tarvel-";
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr std::size_t kTemporaryDigits = 16;

// A hidden name that no other writer is likely to pick; CreateNew refuses an
// existing one, and a few fresh names are tried before giving up.
std::string TemporaryName() {
  static std::mt19937_64 rng([] {
    std::random_device rd;
    return (static_cast<std::uint64_t>(rd()) << 32) ^ rd() ^
           static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }());
  char digits[kTemporaryDigits + 1];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(rng()));
  return std::string(kTemporaryPrefix) + digits + std::string(kTemporarySuffix);
}

}  // namespace

ReplacingWriter::ReplacingWriter(Env& env, const std::string& targetPath, bool keepDigests)
    : env_(env), target_(targetPath), keepDigests_(keepDigests) {
  const std::string folder = FolderOf(target_);
  int reason = 0;
  for (int attempt = 0; attempt < kNameAttempts && !file_; ++attempt) {
    temp_ = folder.empty() ? TemporaryName() : JoinPath(folder, TemporaryName());
    // Registered first, so that no moment passes in which an interrupt
    // would leave the file behind.
    registration_ = RegisterTemporaryFile(temp_);
    try {
      file_ = env_.CreateNew(temp_);
    } catch (const FileError& error) {
      file_.reset();
      reason = error.OsError();
      ReleaseTemporaryFile(registration_);
      registration_ = -1;
      // Only a name that is taken is worth another try; any other failure
      // (no room, no permission) would fail again.
      if (!env_.Identity(temp_, /*followLink=*/false)) break;
    }
  }
  if (!file_) throw FileError(CannotCreateText(target_), reason);
}

ReplacingWriter::~ReplacingWriter() {
  if (!committed_) Discard();
}

void ReplacingWriter::Discard() noexcept {
  file_.reset();
  ReleaseTemporaryFile(registration_);
  registration_ = -1;
  try {
    (void)env_.Remove(temp_);
  } catch (...) {
    // Nothing more can be done about a temporary file that stays behind;
    // it is hidden and belongs to no set.
  }
}

void ReplacingWriter::WriteAt(std::int64_t offset, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  try {
    file_->WriteAt(offset, bytes.data(), bytes.size());
  } catch (const FileError& error) {
    throw FileError(CannotWriteText(target_), error.OsError());
  }
  if (offset != digests_.Length()) inOrder_ = false;
  if (inOrder_ && keepDigests_) digests_.Update(bytes);
}

std::size_t ReplacingWriter::ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t n) {
  try {
    return file_->ReadAt(offset, buffer, n);
  } catch (const FileError& error) {
    throw FileError(CannotReadText(target_), error.OsError());
  }
}

bool ReplacingWriter::Holds(std::int64_t size, const md5digest& whole,
                            const md5digest& head) const {
  assert(keepDigests_);
  return inOrder_ && digests_.Length() == size && md5equal(digests_.Whole(), whole) &&
         md5equal(digests_.Head(), head);
}

void ReplacingWriter::Flush() {
  try {
    file_->Sync();
  } catch (const FileError& error) {
    throw FileError(CannotWriteText(target_), error.OsError());
  }
}

void ReplacingWriter::Commit() {
  ReplacingWriter* self = this;
  CommitTogether(env_, std::span(&self, 1));
}

NameTakenMeanwhile::NameTakenMeanwhile(const std::string& name)
    : FileError(CannotCreateText(name), EEXIST), name_(name) {}

void ReplacingWriter::Placed() noexcept {
  file_.reset();
  ReleaseTemporaryFile(registration_);
  registration_ = -1;
  committed_ = true;
}

namespace {

// One target of a commit: what stood there before, and whether the new file
// has taken its name yet.
struct Target {
  explicit Target(ReplacingWriter* w) : writer(w) {}
  ReplacingWriter* writer;
  bool hadFile = false;            // something bore the target's name
  std::string kept;                // the hidden name that keeps it meanwhile
  std::unique_ptr<NameHold> hold;  // keeps `kept` from the clean-up of others
  bool placed = false;
  FileIdentity placedAs;  // the new file, once placed
};

// Gives a target back what stood there before: the kept file under its own
// name again, or no file at all.  A name this commit claimed is removed only
// while it still names the new file: another program may have put its own
// file there since.  Best effort: this runs after a failure, and a second
// failure leaves the kept file under its hidden name, which a later action's
// clean-up removes only once no hold is left on it.
void PutBack(Env& env, Target& t) {
  const std::string& name = t.writer->TargetPath();
  if (!t.hadFile) {
    if (t.placed && env.Identity(name, /*followLink=*/false) == t.placedAs) (void)env.Remove(name);
    return;
  }
  if (t.placed || !env.Identity(name, /*followLink=*/false)) {
    (void)env.Rename(t.kept, name, /*replace=*/true);
  } else {
    (void)env.Remove(t.kept);  // a second name only: the file never left its own
  }
}

// One file removed by a commit: kept under a held hidden name until the
// commit is certain, then gone.
struct Removal {
  explicit Removal(const RemovedWithCommit& r) : path(r.path), identity(r.identity) {}
  std::string path;
  FileIdentity identity;
  std::string kept;  // empty: not this commit's to remove (another file by now)
  std::unique_ptr<NameHold> hold;
  bool removed = false;  // its own name is gone
};

// Gives a removal back its own name after a failure; best effort, as PutBack.
// A name taken meanwhile is never replaced: the file stays under the
// hidden name, for a later action's clean-up.
void PutBack(Env& env, Removal& r) {
  if (r.kept.empty()) return;
  if (r.removed || !env.Identity(r.path, /*followLink=*/false)) {
    (void)env.Rename(r.kept, r.path, /*replace=*/false);
  } else {
    (void)env.Remove(r.kept);
  }
}

void SyncFolders(Env& env, const std::vector<Target>& targets,
                 const std::vector<Removal>& removals) {
  std::vector<std::string> folders;
  const auto add = [&folders](const std::string& path) {
    const std::string folder = FolderOf(path);
    if (std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.push_back(folder);
  };
  for (const Target& t : targets) add(t.writer->TargetPath());
  for (const Removal& r : removals) add(r.path);
  for (const std::string& folder : folders) env.SyncFolder(folder);
}

}  // namespace

void CommitTogether(Env& env, std::span<ReplacingWriter* const> writers,
                    std::span<const RemovedWithCommit> removals) {
  // The slow part first: every new file is on disk before anything is renamed.
  for (ReplacingWriter* w : writers) w->Flush();

  const InterruptsHeld held;
  std::vector<Target> targets;
  for (ReplacingWriter* w : writers) targets.emplace_back(w);
  std::vector<Removal> gone(removals.begin(), removals.end());
  try {
    // A file to be removed is kept as those being replaced are; one that
    // is no longer the file recognised is not this commit's.
    for (Removal& r : gone) {
      if (env.Identity(r.path, /*followLink=*/false) != r.identity) continue;
      const std::string folder = FolderOf(r.path);
      const std::string kept = folder.empty() ? TemporaryName() : JoinPath(folder, TemporaryName());
      try {
        r.hold = env.KeepUnderName(r.path, kept);
      } catch (const FileError& error) {
        throw FileError(CannotCreateText(r.path), error.OsError());
      }
      r.kept = kept;
    }
    // Whatever bears a target's name is kept under a second, hidden name
    // before the first new file takes a name.
    for (Target& t : targets) {
      const std::string& name = t.writer->TargetPath();
      if (!env.Identity(name, /*followLink=*/false)) continue;
      if (!t.writer->mayReplace_) throw NameTakenMeanwhile(name);
      const std::string folder = FolderOf(name);
      t.kept = folder.empty() ? TemporaryName() : JoinPath(folder, TemporaryName());
      try {
        t.hold = env.KeepUnderName(name, t.kept);
      } catch (const FileError& error) {
        throw FileError(CannotCreateText(name), error.OsError());
      }
      t.hadFile = true;
    }
    for (Target& t : targets) {
      ReplacingWriter& w = *t.writer;
      // A link being replaced lends the new file nothing: what it leads to
      // may lie anywhere and belong to anyone.
      const bool link = t.hadFile && env.IsSymbolicLink(w.target_);
      env.AdoptAttributes(w.temp_, t.hadFile && !link ? t.kept : std::string());
      const FileIdentity made = w.file_->Stamp().identity;
      const OsStatus renamed = env.Rename(w.temp_, w.target_, /*replace=*/t.hadFile);
      if (!renamed) {
        // A name free a moment ago, taken by another program.
        if (!w.mayReplace_ && renamed.Reason() == EEXIST) throw NameTakenMeanwhile(w.target_);
        throw FileError(CannotCreateText(w.target_), renamed.Reason());
      }
      t.placed = true;
      t.placedAs = made;
    }
    // Every new file has its name: the files removed with them lose theirs
    // (a file system without second names moved them to the hidden one).
    for (Removal& r : gone) {
      if (r.kept.empty()) continue;
      if (env.Identity(r.path, /*followLink=*/false) == r.identity) {
        if (const OsStatus removed = env.Remove(r.path); !removed) {
          const std::string folder = FolderOf(r.path);
          throw FileError(CannotSyncFolderText(folder.empty() ? "." : folder), removed.Reason());
        }
      }
      r.removed = true;
    }
    SyncFolders(env, targets, gone);
  } catch (const FileError&) {
    for (auto r = gone.rbegin(); r != gone.rend(); ++r) PutBack(env, *r);
    for (auto t = targets.rbegin(); t != targets.rend(); ++t) PutBack(env, *t);
    try {
      SyncFolders(env, targets, gone);
    } catch (const FileError&) {
      // The error that ended the commit is the one to report.
    }
    throw;
  }
  for (Target& t : targets) {
    if (t.hadFile) (void)env.Remove(t.kept);
    t.writer->Placed();
  }
  for (Removal& r : gone) {
    if (!r.kept.empty()) (void)env.Remove(r.kept);
  }
}

std::optional<std::int64_t> FileSystemNow(Env& env, const std::string& folder) {
  const std::string path = JoinPath(folder, TemporaryName());
  const int registration = RegisterTemporaryFile(path);
  std::optional<std::int64_t> now;
  try {
    std::unique_ptr<File> probe = env.CreateNew(path);
    try {
      now = probe->Stamp().changedNs;
    } catch (const FileError&) {
      // Made, but not stamped: no time to tell.
    }
    probe.reset();
    (void)env.Remove(path);
  } catch (const FileError&) {
    // A folder that takes no file (read-only, full): no time to tell.
  }
  ReleaseTemporaryFile(registration);
  return now;
}

bool IsTemporaryName(const std::string& name) {
  if (name.size() != kTemporaryPrefix.size() + kTemporaryDigits + kTemporarySuffix.size() ||
      !name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) {
    return false;
  }
  return std::all_of(name.begin() + kTemporaryPrefix.size(),
                     name.begin() + kTemporaryPrefix.size() + kTemporaryDigits,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

void RemoveAbandonedTemporaryFiles(Env& env, const std::string& folder,
                                   const std::vector<std::string>& keep) {
  std::vector<std::string> hidden;
  try {
    hidden = env.ListHiddenFiles(folder);
  } catch (const FileError&) {
    return;  // housekeeping only: a folder that cannot be listed is left for next time
  }
  for (const std::string& name : hidden) {
    if (!IsTemporaryName(name) || std::find(keep.begin(), keep.end(), name) != keep.end()) continue;
    (void)env.RemoveUnlocked(JoinPath(folder, name));
  }
}

}  // namespace tarvel
