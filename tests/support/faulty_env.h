// SPDX-License-Identifier: GPL-3.0-or-later
// An Env for tests that passes everything to another Env but fails chosen
// operations on demand, so a test can make an operation fail half-way (the
// third write to a volume, the creation of the second volume, a full disk)
// and check that nothing is lost and no success is reported.
//
// Faults are counted per kind of operation among the calls whose file name
// contains a given text ("" matches every name), starting at 1 from the
// moment the fault is armed:
//
//   FaultyEnv env(Env::Default());
//   env.Fail(FaultyEnv::kWrite, 3, ".P02");           // the 3rd write to *.P02* throws
//   env.Fail(FaultyEnv::kCreate, 1, "", /*sticky=*/true); // every create from now on throws
//   env.ShortWrite(2);                                 // the 2nd write stores half, then throws
//
// A failing open, create, write, listing or folder flush throws FileError with
// the text the real file layer uses; a failing read throws the read text; a
// failing rename returns a failure; a failing link (KeepUnderName) throws the
// create text.  Sync counts both a file's flush and a folder's.  Failed opens
// and reads carry the fault's reason.  Files opened through a FaultyEnv keep
// obeying it, so they must not outlive it.
//
// A disk gone bad in one place: every read that touches a byte range of
// the file that a path names now fails, each time, as an unreadable sector
// does; a new file put in its place (a rebuilt one) reads well:
//
//   env.BadRegion(dir / "f2.bin", 1500000, 1500512);  // EIO unless told otherwise
//
// A test can also make something happen at a chosen moment, without timing:
//
//   env.BeforeRead(2, "a.bin", [&] { append to a.bin });  // before the 2nd read of a.bin
//   env.Before(FaultyEnv::kRename, 2, "", [&] { ... });   // before the 2nd rename
//
// The engine reads files on several threads; the counts are kept under a
// lock (which file a fault hits may then depend on how the threads
// interleave).
#pragma once

#include <cerrno>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/env_wrapper.h"

namespace tarvel::testing {

class FaultyEnv : public EnvWrapper {
 public:
  enum Op { kOpen, kCreate, kWrite, kRead, kRename, kLink, kSync, kList, kOpCount };

  explicit FaultyEnv(Env& base) : EnvWrapper(base) {}

  // Fails the k-th matching call of `op` (1 = the next one); with `sticky`
  // that call and every later matching one fail.  The failure carries the
  // system's reason `reason` (0: none).
  void Fail(Op op, int k, std::string match = "", bool sticky = false, int reason = 0) {
    std::lock_guard lock(mutex_);
    faults_.push_back({op, k, std::move(match), sticky, false, 0, reason});
  }

  // The k-th matching write stores only the first half of its bytes and
  // then throws, as a disk that fills up in the middle of a write.
  void ShortWrite(int k, std::string match = "") {
    std::lock_guard lock(mutex_);
    faults_.push_back({kWrite, k, std::move(match), false, true, 0, 0});
  }

  // Every read that touches bytes [from, to) of the file that `path` names
  // now (by device and inode) fails with `reason`, until Clear.
  void BadRegion(const std::string& path, std::int64_t from, std::int64_t to, int reason = EIO) {
    const std::optional<FileIdentity> file = target().Identity(path, /*followLink=*/true);
    if (!file) return;
    std::lock_guard lock(mutex_);
    regions_.push_back({*file, from, to, reason});
  }

  // Runs `action` once, just before the k-th matching call of `op` (1 = the
  // next one) is passed on; it may change the file the call is about.
  void Before(Op op, int k, std::string match, std::function<void()> action) {
    std::lock_guard lock(mutex_);
    hooks_.push_back({op, k, std::move(match), std::move(action), 0});
  }
  void BeforeRead(int k, std::string match, std::function<void()> action) {
    Before(kRead, k, std::move(match), std::move(action));
  }

  // Every stamp of a file opened from now on passes through `f` (stamps
  // made to look older, or not to move), for what is decided by stamps.
  void StampsAs(std::function<FileStamp(const std::string& name, FileStamp)> f) {
    std::lock_guard lock(mutex_);
    stamps_ = std::move(f);
  }

  // Makes Sync and SyncFolder do nothing (they are still counted and can
  // still fail), for runs that create many files and do not look at what
  // reaches the disk.
  void SkipSync() { skipSync_ = true; }

  void Clear() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    hooks_.clear();
    regions_.clear();
    fired_ = 0;
  }

  // How many calls of `op` were made through this Env, faulty or not.
  int Calls(Op op) const {
    std::lock_guard lock(mutex_);
    return calls_[op];
  }
  // How many calls failed since the last Clear.
  int Fired() const {
    std::lock_guard lock(mutex_);
    return fired_;
  }

  std::unique_ptr<File> OpenRead(const std::string& path) override {
    if (Hit(kOpen, path)) throw FileError(CannotOpenText(path), Reason());
    return EnvWrapper::OpenRead(path);
  }
  std::unique_ptr<File> CreateNew(const std::string& path) override {
    if (Hit(kCreate, path)) throw FileError(CannotCreateText(path));
    std::unique_ptr<File> file = EnvWrapper::CreateNew(path);
    Reborn(file->Stamp().identity);
    return file;
  }
  OsStatus Rename(const std::string& from, const std::string& to, bool replace) override {
    if (Hit(kRename, from)) return OsStatus::Failure(Reason());
    return EnvWrapper::Rename(from, to, replace);
  }
  std::unique_ptr<NameHold> KeepUnderName(const std::string& path,
                                          const std::string& newPath) override {
    if (Hit(kLink, path)) throw FileError(CannotCreateText(newPath));
    return EnvWrapper::KeepUnderName(path, newPath);
  }
  void SyncFolder(const std::string& folder) override {
    if (Hit(kSync, folder)) throw FileError(CannotSyncFolderText(folder));
    if (!skipSync_) EnvWrapper::SyncFolder(folder);
  }
  std::vector<FolderEntry> List(const std::string& folder) override {
    if (Hit(kList, folder)) throw FileError(CannotListText(folder));
    return EnvWrapper::List(folder);
  }

 protected:
  std::unique_ptr<File> WrapFile(std::unique_ptr<File> file) override {
    return std::make_unique<FaultyFile>(*this, std::move(file));
  }

 private:
  struct Fault {
    Op op;
    int k;
    std::string match;
    bool sticky;
    bool shortWrite;
    int seen;  // matching calls counted so far
    int reason;
  };

  class FaultyFile final : public FileWrapper {
   public:
    FaultyFile(FaultyEnv& env, std::unique_ptr<File> file)
        : FileWrapper(std::move(file)), env_(env) {}
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
      if (env_.Hit(kRead, Name())) throw FileError(CannotReadText(Name()), env_.Reason());
      if (const int bad = env_.Unreadable(Identity(), offset, n)) {
        throw FileError(CannotReadText(Name()), bad);
      }
      return target().ReadAt(offset, buffer, n);
    }
    void WriteAt(std::int64_t offset, const void* buffer, std::size_t n) override {
      bool shortWrite = false;
      if (env_.Hit(kWrite, Name(), &shortWrite)) {
        if (shortWrite && n / 2 > 0) target().WriteAt(offset, buffer, n / 2);
        throw FileError(CannotWriteText(Name()));
      }
      target().WriteAt(offset, buffer, n);
    }
    FileStamp Stamp() override {
      std::function<FileStamp(const std::string&, FileStamp)> as;
      {
        std::lock_guard lock(env_.mutex_);
        as = env_.stamps_;
      }
      const FileStamp stamp = target().Stamp();
      return as ? as(Name(), stamp) : stamp;
    }
    void Sync() override {
      if (env_.Hit(kSync, Name())) throw FileError(CannotWriteText(Name()));
      if (!env_.skipSync_) target().Sync();
    }

   private:
    // The file's own identity, whatever StampsAs makes its stamps say.
    FileIdentity Identity() {
      if (!identity_) identity_ = target().Stamp().identity;
      return *identity_;
    }

    FaultyEnv& env_;
    std::optional<FileIdentity> identity_;
  };

  // Counts one call of `op` on `name`; true when an armed fault fires.  The
  // actions due before the call run first (outside the lock: they may use
  // the file layer).
  bool Hit(Op op, const std::string& name, bool* shortWrite = nullptr) {
    RunHooks(op, name);
    std::lock_guard lock(mutex_);
    ++calls_[op];
    bool fire = false;
    for (Fault& f : faults_) {
      if (f.op != op || name.find(f.match) == std::string::npos) continue;
      ++f.seen;
      if (f.seen == f.k || (f.sticky && f.seen > f.k)) {
        fire = true;
        lastReason_ = f.reason;
        if (shortWrite != nullptr && f.shortWrite) *shortWrite = true;
      }
    }
    if (fire) ++fired_;
    return fire;
  }
  // A new file has the identity `file`: the file whose bad regions it had
  // is gone, and its blocks with it.
  void Reborn(const FileIdentity& file) {
    std::lock_guard lock(mutex_);
    std::erase_if(regions_, [&](const Region& r) { return r.file == file; });
  }

  // The reason of a bad region that the read of n bytes at `offset` of
  // the file `file` touches, 0 when it touches none.
  int Unreadable(const FileIdentity& file, std::int64_t offset, std::size_t n) {
    std::lock_guard lock(mutex_);
    for (const Region& r : regions_) {
      if (r.file != file) continue;
      if (offset < r.to && offset + static_cast<std::int64_t>(n) > r.from) {
        ++fired_;
        return r.reason;
      }
    }
    return 0;
  }

  // The reason of the fault that fired last.
  int Reason() const {
    std::lock_guard lock(mutex_);
    return lastReason_;
  }

  struct Hook {
    Op op;
    int k;
    std::string match;
    std::function<void()> action;
    int seen;
  };

  void RunHooks(Op op, const std::string& name) {
    std::vector<std::function<void()>> due;
    {
      std::lock_guard lock(mutex_);
      for (Hook& h : hooks_) {
        if (h.op == op && name.find(h.match) != std::string::npos && ++h.seen == h.k) {
          due.push_back(h.action);
        }
      }
    }
    for (const auto& action : due) action();
  }

  struct Region {
    FileIdentity file;
    std::int64_t from;
    std::int64_t to;
    int reason;
  };

  mutable std::mutex mutex_;
  std::vector<Fault> faults_;
  std::vector<Region> regions_;
  std::vector<Hook> hooks_;
  int calls_[kOpCount] = {};
  int fired_ = 0;
  int lastReason_ = 0;
  bool skipSync_ = false;
  std::function<FileStamp(const std::string&, FileStamp)> stamps_;
};

}  // namespace tarvel::testing
