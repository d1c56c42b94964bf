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
// A failing open, create or write throws FileError with the text the real
// file layer uses; a failing read throws the read text; a failing rename
// returns false.  Files opened through a FaultyEnv keep obeying it, so they
// must not outlive it.  The engine reads files on several threads; the
// counts are kept under a lock (which file a fault hits may then depend on
// how the threads interleave).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "support/env_wrapper.h"

namespace tarvel::testing {

class FaultyEnv : public EnvWrapper {
 public:
  enum Op { kOpen, kCreate, kWrite, kRead, kRename, kOpCount };

  explicit FaultyEnv(Env& base) : EnvWrapper(base) {}

  // Fails the k-th matching call of `op` (1 = the next one); with `sticky`
  // that call and every later matching one fail.
  void Fail(Op op, int k, std::string match = "", bool sticky = false) {
    std::lock_guard lock(mutex_);
    faults_.push_back({op, k, std::move(match), sticky, false, 0});
  }

  // The k-th matching write stores only the first half of its bytes and
  // then throws, as a disk that fills up in the middle of a write.
  void ShortWrite(int k, std::string match = "") {
    std::lock_guard lock(mutex_);
    faults_.push_back({kWrite, k, std::move(match), false, true, 0});
  }

  // Makes Sync do nothing, for runs that create many files and do not look
  // at what reaches the disk.
  void SkipSync() { skipSync_ = true; }

  void Clear() {
    std::lock_guard lock(mutex_);
    faults_.clear();
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
    if (Hit(kOpen, path)) throw FileError(CannotOpenText(path));
    return EnvWrapper::OpenRead(path);
  }
  std::unique_ptr<File> Create(const std::string& path) override {
    if (Hit(kCreate, path)) throw FileError(CannotCreateText(path));
    return EnvWrapper::Create(path);
  }
  std::unique_ptr<File> CreateNew(const std::string& path) override {
    if (Hit(kCreate, path)) throw FileError(CannotCreateText(path));
    return EnvWrapper::CreateNew(path);
  }
  std::unique_ptr<File> OpenReadWrite(const std::string& path) override {
    if (Hit(kOpen, path)) throw FileError(CannotOpenText(path));
    return EnvWrapper::OpenReadWrite(path);
  }
  bool Rename(const std::string& from, const std::string& to, bool replace) override {
    if (Hit(kRename, from)) return false;
    return EnvWrapper::Rename(from, to, replace);
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
  };

  class FaultyFile final : public FileWrapper {
   public:
    FaultyFile(FaultyEnv& env, std::unique_ptr<File> file)
        : FileWrapper(std::move(file)), env_(env) {}
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
      if (env_.Hit(kRead, Name())) throw FileError(CannotReadText(Name()));
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
    void Sync() override {
      if (!env_.skipSync_) target().Sync();
    }

   private:
    FaultyEnv& env_;
  };

  // Counts one call of `op` on `name`; true when an armed fault fires.
  bool Hit(Op op, const std::string& name, bool* shortWrite = nullptr) {
    std::lock_guard lock(mutex_);
    ++calls_[op];
    bool fire = false;
    for (Fault& f : faults_) {
      if (f.op != op || name.find(f.match) == std::string::npos) continue;
      ++f.seen;
      if (f.seen == f.k || (f.sticky && f.seen > f.k)) {
        fire = true;
        if (shortWrite != nullptr && f.shortWrite) *shortWrite = true;
      }
    }
    if (fire) ++fired_;
    return fire;
  }

  mutable std::mutex mutex_;
  std::vector<Fault> faults_;
  int calls_[kOpCount] = {};
  int fired_ = 0;
  bool skipSync_ = false;
};

}  // namespace tarvel::testing
