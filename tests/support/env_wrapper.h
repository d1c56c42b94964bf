// SPDX-License-Identifier: GPL-3.0-or-later
// A forwarding Env for tests: every call goes to another Env, and every file
// it opens is wrapped, so a test Env overrides only the calls it changes
// (failing them, counting them, guarding their paths) and stays correct when
// the file layer grows.
//
//   class CountingEnv : public EnvWrapper {
//     std::unique_ptr<File> OpenRead(const std::string& p) override { ++opens; return
//     EnvWrapper::OpenRead(p); }
//   };
//
// Files opened through a wrapper go through WrapFile, whose default keeps
// the file as it is; a wrapper that watches file calls returns a FileWrapper.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/env.h"

namespace tarvel::testing {

// Forwards every call to the file it wraps.
class FileWrapper : public File {
 public:
  explicit FileWrapper(std::unique_ptr<File> file) : file_(std::move(file)) {}
  const std::string& Name() const override { return file_->Name(); }
  std::int64_t Size() override { return file_->Size(); }
  FileStamp Stamp() override { return file_->Stamp(); }
  std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
    return file_->ReadAt(offset, buffer, n);
  }
  void WriteAt(std::int64_t offset, const void* buffer, std::size_t n) override {
    file_->WriteAt(offset, buffer, n);
  }
  void Sync() override { file_->Sync(); }
  void StartSync() override { file_->StartSync(); }
  void SetModifiedTime(std::int64_t ns) override { file_->SetModifiedTime(ns); }

 protected:
  File& target() { return *file_; }

 private:
  std::unique_ptr<File> file_;
};

class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env& target = Env::Default()) : target_(target) {}

  Env& target() { return target_; }

  std::unique_ptr<File> OpenRead(const std::string& path) override {
    return WrapFile(target_.OpenRead(path));
  }
  std::unique_ptr<File> CreateNew(const std::string& path) override {
    return WrapFile(target_.CreateNew(path));
  }
  std::optional<FileInfo> Stat(const std::string& path, bool followLink) override {
    return target_.Stat(path, followLink);
  }
  std::vector<FolderEntry> List(const std::string& folder) override { return target_.List(folder); }
  OsStatus Rename(const std::string& from, const std::string& to, bool replace) override {
    return target_.Rename(from, to, replace);
  }
  OsStatus Remove(const std::string& path) override { return target_.Remove(path); }
  bool RemoveUnlocked(const std::string& path) override { return target_.RemoveUnlocked(path); }
  std::unique_ptr<NameHold> KeepUnderName(const std::string& path,
                                          const std::string& newPath) override {
    return target_.KeepUnderName(path, newPath);
  }
  void SyncFolder(const std::string& folder) override { target_.SyncFolder(folder); }
  void AdoptAttributes(const std::string& path, const std::string& like) override {
    target_.AdoptAttributes(path, like);
  }
  std::string CurrentFolder() override { return target_.CurrentFolder(); }
  std::int64_t FreeSpace(const std::string& path) override { return target_.FreeSpace(path); }
  std::int64_t NowMs() override { return target_.NowMs(); }
  std::unique_ptr<FolderHold> HoldFolder(const std::string& folder) override {
    return target_.HoldFolder(folder);
  }

 protected:
  // Every file opened or created through this Env passes through here.
  virtual std::unique_ptr<File> WrapFile(std::unique_ptr<File> file) { return file; }

 private:
  Env& target_;
};

}  // namespace tarvel::testing
