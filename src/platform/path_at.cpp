// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/path_at.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <mutex>
#include <optional>
#include <vector>

namespace tarvel::platform {

// The descriptor of a held folder, closed when the last hold and the last
// PathAt that uses it have gone.
class HeldFolder {
 public:
  explicit HeldFolder(int fd) : fd_(fd) {}
  ~HeldFolder() { close(fd_); }
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;

  int Descriptor() const { return fd_; }

 private:
  int fd_;
};

namespace {

// The folders held in the process, by the spelling they were held under.
struct Holds {
  struct Entry {
    std::string key;
    std::shared_ptr<HeldFolder> folder;
    int count = 0;
  };
  std::mutex mutex;
  std::vector<Entry> entries;

  Entry* Find(const std::string& key) {
    for (Entry& e : entries) {
      if (e.key == key) return &e;
    }
    return nullptr;
  }
};

// Never destroyed: a hold may end while the program's statics go.
Holds& TheHolds() {
  static Holds* holds = new Holds;
  return *holds;
}

// The spelling under which paths are matched with a held folder: without
// trailing slashes ("/" stays the root), and "" for the current folder.
std::string KeyOf(const std::string& folder) {
  if (folder.empty() || folder == "." || folder == "./") return "";
  const std::size_t end = folder.find_last_not_of('/');
  if (end == std::string::npos) return "/";
  return folder.substr(0, end + 1);
}

// What is left of `path` below the held folder `key` ("." for the folder
// itself), or nothing when the path is not spelled from that folder.
std::optional<std::string> Below(const std::string& key, const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::size_t from = 0;
  if (key.empty()) {
    if (path.front() == '/') return std::nullopt;
  } else if (key == "/") {
    if (path.front() != '/') return std::nullopt;
  } else {
    if (!path.starts_with(key)) return std::nullopt;
    if (path.size() > key.size() && path[key.size()] != '/') return std::nullopt;
    from = key.size();
  }
  from = path.find_first_not_of('/', from);
  if (from == std::string::npos) return ".";
  return path.substr(from);
}

class PosixFolderHold final : public FolderHold {
 public:
  explicit PosixFolderHold(std::string key) : key_(std::move(key)) {}
  ~PosixFolderHold() override {
    Holds& holds = TheHolds();
    const std::lock_guard lock(holds.mutex);
    for (auto e = holds.entries.begin(); e != holds.entries.end(); ++e) {
      if (e->key != key_) continue;
      if (--e->count == 0) holds.entries.erase(e);
      return;
    }
  }

 private:
  std::string key_;
};

}  // namespace

PathAt::PathAt(const std::string& path) : base_(AT_FDCWD), name_(path) {
  {
    Holds& holds = TheHolds();
    const std::lock_guard lock(holds.mutex);
    const Holds::Entry* innermost = nullptr;
    for (const Holds::Entry& e : holds.entries) {
      if (innermost != nullptr && e.key.size() <= innermost->key.size()) continue;
      if (std::optional<std::string> rest = Below(e.key, path)) {
        innermost = &e;
        name_ = std::move(*rest);
      }
    }
    if (innermost != nullptr) {
      held_ = innermost->folder;
      base_ = held_->Descriptor();
    }
  }
  // The system takes no path of PATH_MAX bytes or more: the folders at the
  // start of a longer rest are opened first, as many at a time as fit.
  while (name_.size() >= PATH_MAX) {
    const std::size_t cut = name_.rfind('/', PATH_MAX - 1);
    if (cut == std::string::npos) {
      error_ = ENAMETOOLONG;  // one name longer than any path
      return;
    }
    const std::string folders = cut == 0 ? "/" : name_.substr(0, cut);
    const int fd = openat(Folder(), folders.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      error_ = errno;
      return;
    }
    if (walked_ >= 0) close(walked_);
    walked_ = fd;
    const std::size_t next = name_.find_first_not_of('/', cut);
    name_ = next == std::string::npos ? "." : name_.substr(next);
  }
}

PathAt::~PathAt() {
  if (walked_ >= 0) close(walked_);
}

std::unique_ptr<FolderHold> HoldFolderOf(const std::string& folder) {
  const std::string key = KeyOf(folder);
  Holds& holds = TheHolds();
  {
    const std::lock_guard lock(holds.mutex);
    if (Holds::Entry* e = holds.Find(key)) {
      ++e->count;
      return std::make_unique<PosixFolderHold>(key);
    }
  }
  int fd = -1;
  {
    const PathAt at(key.empty() ? std::string(".") : folder);
    if (at) fd = openat(at.Folder(), at.Name(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  }
  if (fd < 0) return std::make_unique<FolderHold>();
  auto opened = std::make_shared<HeldFolder>(fd);
  const std::lock_guard lock(holds.mutex);
  if (Holds::Entry* e = holds.Find(key)) {
    ++e->count;  // held by another thread meanwhile: that hold is the one
  } else {
    holds.entries.push_back({key, std::move(opened), 1});
  }
  return std::make_unique<PosixFolderHold>(key);
}

}  // namespace tarvel::platform
