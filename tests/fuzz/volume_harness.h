// SPDX-License-Identifier: GPL-3.0-or-later
// One run of the whole check of a set whose volumes are arbitrary bytes: the
// bytes become the main volume (and maybe a parity volume) of a set folder
// holding a few small data files and a symbolic link to one of them, and the
// engine reads the volume, searches the files, finds the volumes, builds the
// report, plans and runs a restore, all through the real file layer behind a
// guard.
//
// The guard turns what hostile bytes must never cause into a reported
// violation: touching a path that is not a bare name of the set folder, or
// writing far more than such a small set can ever need.  Crashes, reads out
// of bounds and absurd allocations are left to the sanitizers and to the
// fuzzer's limits.  Shared by the fuzz target (tests/fuzz/volume_fuzz.cpp)
// and the replay of its corpus (tests/engine/hostile_volume_test.cpp).
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "checksum/md5.h"
#include "engine/engine.h"
#include "engine/format/format.h"
#include "platform/env.h"
#include "support/env_wrapper.h"
#include "support/scripted_interaction.h"
#include "support/testutil.h"

namespace tarvel::fuzz {

using Bytes = std::vector<std::uint8_t>;

// The first input byte chooses how the rest becomes a set folder.
constexpr std::uint8_t kSealBit = 0x01;        // write correct control digests into the volumes
constexpr std::uint8_t kTwoVolumesBit = 0x02;  // bytes 1-2: main volume length; the rest: fuzz.P01
constexpr std::uint8_t kCopyBit = 0x04;        // (one volume) a copy numbered 1 is fuzz.P01
constexpr int kFoundShift = 3;                 // bits 3-4: answer to the File search prompt
constexpr std::uint8_t kDontAskBit = 0x20;     // "don't ask again" with that answer
constexpr std::uint8_t kAskEachBit = 0x40;     // restore asking per file (answered Yes)
constexpr std::uint8_t kMovedBit = 0x80;       // b.bin lies in the folder as moved.bin

constexpr const char* kMainVolume = "fuzz.PAR";
constexpr const char* kParityVolume = "fuzz.P01";
// A symbolic link to a.txt inside the folder: rebuilding it replaces the
// link with a file and leaves a.txt alone.
constexpr const char* kLinkName = "link.txt";

// Nothing a set of a few kilobytes of volumes and files leads to comes near this.
constexpr std::int64_t kWriteLimit = std::int64_t{64} << 20;

// The data files every run starts from.  c.dat is part of the seed sets but
// never written, so checking a seed set finds it missing and restores it.
inline Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }
inline Bytes DataA() { return Text("alpha beta gamma delta\n"); }
inline Bytes DataB() { return testing::RandomBytes(700, 11); }
inline Bytes DataC() { return testing::RandomBytes(333, 12); }
inline Bytes DataNfo() { return Text("release notes\n"); }

// Writes the control digest (MD5 of bytes 32 to the end) into bytes 16-31.
inline void Seal(Bytes& volume) {
  if (volume.size() < kOffControl + 16) return;
  const std::size_t from = std::min<std::size_t>(32, volume.size());
  const md5digest d = md5buffer(volume.data() + from, volume.size() - from);
  std::copy(d.begin(), d.end(), volume.begin() + kOffControl);
}

struct GuardViolation : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The real Env, allowed to reach only bare names of one folder, with a cap
// on the bytes written.
class GuardedEnv : public testing::EnvWrapper {
 public:
  explicit GuardedEnv(std::string folder) : folder_(std::move(folder)) {}

  // Starts a new run: nothing written yet.
  void Reset() { written_ = 0; }

  std::unique_ptr<File> OpenRead(const std::string& path) override {
    return EnvWrapper::OpenRead(Inside(path));
  }
  std::unique_ptr<File> CreateNew(const std::string& path) override {
    return EnvWrapper::CreateNew(Inside(path));
  }
  std::optional<FileInfo> Stat(const std::string& path, bool followLink) override {
    return EnvWrapper::Stat(Inside(path), followLink);
  }
  std::vector<FolderEntry> List(const std::string& folder) override {
    return EnvWrapper::List(Folder(folder));
  }
  OsStatus Rename(const std::string& from, const std::string& to, bool replace) override {
    return EnvWrapper::Rename(Inside(from), Inside(to), replace);
  }
  OsStatus Remove(const std::string& path) override { return EnvWrapper::Remove(Inside(path)); }
  std::unique_ptr<NameHold> KeepUnderName(const std::string& path,
                                          const std::string& newPath) override {
    return EnvWrapper::KeepUnderName(Inside(path), Inside(newPath));
  }
  void SyncFolder(const std::string& folder) override { EnvWrapper::SyncFolder(Folder(folder)); }
  bool RemoveUnlocked(const std::string& path) override {
    return EnvWrapper::RemoveUnlocked(Inside(path));
  }
  void AdoptAttributes(const std::string& path, const std::string& like) override {
    EnvWrapper::AdoptAttributes(Inside(path), like.empty() ? like : Inside(like));
  }
  std::int64_t FreeSpace(const std::string& path) override {
    return EnvWrapper::FreeSpace(Inside(path));
  }
  std::unique_ptr<FolderHold> HoldFolder(const std::string& folder) override {
    return EnvWrapper::HoldFolder(Folder(folder));
  }

 protected:
  std::unique_ptr<File> WrapFile(std::unique_ptr<File> f) override {
    return std::make_unique<GuardedFile>(*this, std::move(f));
  }

 private:
  const std::string& Inside(const std::string& path) const {
    const bool inside = path.size() > folder_.size() + 1 && path.starts_with(folder_) &&
                        path[folder_.size()] == '/' && IsPlainName(path.substr(folder_.size() + 1));
    if (!inside) throw GuardViolation("path outside the set folder: " + path);
    return path;
  }
  const std::string& Folder(const std::string& folder) const {
    if (folder != folder_) throw GuardViolation("folder other than the set folder: " + folder);
    return folder;
  }

  class GuardedFile : public testing::FileWrapper {
   public:
    GuardedFile(GuardedEnv& env, std::unique_ptr<File> f) : FileWrapper(std::move(f)), env_(env) {}
    void WriteAt(std::int64_t offset, const void* buffer, std::size_t n) override {
      env_.written_ += static_cast<std::int64_t>(n);
      if (offset < 0 || offset > kWriteLimit || env_.written_ > kWriteLimit) {
        throw GuardViolation("absurd write to " + Name());
      }
      target().WriteAt(offset, buffer, n);
    }

   private:
    GuardedEnv& env_;
  };

  std::string folder_;
  std::int64_t written_ = 0;
};

// A set folder reused by every run and emptied before each.  The engine is
// reused too (its parity tables are large and slow to set up); each check
// reads its set afresh.
class VolumeHarness {
 public:
  VolumeHarness() : folder_(MakeFolder()), env_(folder_), engine_(env_, ui_) {}
  ~VolumeHarness() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  VolumeHarness(const VolumeHarness&) = delete;
  VolumeHarness& operator=(const VolumeHarness&) = delete;

  const std::string& Folder() const { return folder_; }
  // What the last run showed.
  const testing::ScriptedInteraction& Shown() const { return ui_; }

  // Runs the whole check on the input; returns a description of what went
  // wrong beyond the sanitizers' reach, or an empty string.
  std::string Run(std::span<const std::uint8_t> input) {
    Clean();
    if (input.empty()) return {};
    const std::uint8_t mode = input[0];
    std::span<const std::uint8_t> rest = input.subspan(1);

    Bytes main;
    Bytes parity;
    bool hasParity = false;
    if ((mode & kTwoVolumesBit) != 0 && rest.size() >= 2) {
      const std::size_t length = std::min<std::size_t>(rest[0] | (rest[1] << 8), rest.size() - 2);
      main.assign(rest.begin() + 2, rest.begin() + 2 + static_cast<std::ptrdiff_t>(length));
      parity.assign(rest.begin() + 2 + static_cast<std::ptrdiff_t>(length), rest.end());
      hasParity = true;
    } else {
      main.assign(rest.begin(), rest.end());
      if ((mode & kCopyBit) != 0 && main.size() > kOffVolumeNumber) {
        parity = main;
        parity[kOffVolumeNumber] = 1;
        hasParity = true;
      }
    }
    if ((mode & kSealBit) != 0) {
      Seal(main);
      Seal(parity);
    }

    testing::WriteBytes(Path("a.txt"), DataA());
    testing::WriteBytes(Path((mode & kMovedBit) != 0 ? "moved.bin" : "b.bin"), DataB());
    testing::WriteBytes(Path("readme.NFO"), DataNfo());
    std::filesystem::create_symlink("a.txt", Path(kLinkName));
    testing::WriteBytes(Path(kMainVolume), main);
    if (hasParity) testing::WriteBytes(Path(kParityVolume), parity);

    testing::ScriptedInteraction& ui = ui_;
    ui = testing::ScriptedInteraction{};
    const bool dontAsk = (mode & kDontAskBit) != 0;
    static constexpr RenameButton kFound[] = {RenameButton::kClosed, RenameButton::kRename,
                                              RenameButton::kCopy, RenameButton::kCancel};
    for (int i = 0; i < 4; ++i) {
      ui.renameReplies.push_back({kFound[(mode >> kFoundShift) & 3], dontAsk});
      ui.restoreReplies.push_back({RestoreButton::kYes, dontAsk});
    }

    env_.Reset();
    Engine& engine = engine_;
    std::vector<std::string> listed;
    try {
      const CheckReport check = engine.Check({Path(kMainVolume)});
      if (check.outcome != CheckOutcome::kChecked) return {};
      for (const FileReport& f : check.report.files) listed.push_back(f.name);
      (void)engine.Restore((mode & kAskEachBit) != 0);
    } catch (const FileError&) {
      // A file-layer failure ends the action with its message; nothing more.
    } catch (const GuardViolation& violation) {
      return violation.what();
    }
    return LeftoverTemporary(listed);
  }

 private:
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

  // Every temporary file of a rebuild or copy is renamed or removed on every
  // path; one left behind (that the list does not name itself) is a fault.
  std::string LeftoverTemporary(const std::vector<std::string>& listed) const {
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      if (!name.starts_with(".tarvel-")) continue;
      if (std::find(listed.begin(), listed.end(), name) == listed.end())
        return "temporary file left behind: " + name;
    }
    return {};
  }

  void Clean() {
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      std::filesystem::remove_all(entry.path());
    }
  }

  static std::string MakeFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tarvel-hostile-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    // Canonical, so that every path formed from it has one spelling.
    return std::filesystem::canonical(tmpl).string();
  }

  std::string folder_;
  GuardedEnv env_;
  testing::ScriptedInteraction ui_;
  Engine engine_;
};

}  // namespace tarvel::fuzz
