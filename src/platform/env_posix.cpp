// SPDX-License-Identifier: GPL-3.0-or-later
// The Env of a POSIX file system (Linux).  Every path is reached through
// PathAt (path_at.h) and the *at calls, so that paths of any length and the
// folders an action holds work for every call.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>  // RENAME_NOREPLACE
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <limits>
#include <string_view>

#include "platform/env.h"
#include "platform/path_at.h"

namespace tarvel {
namespace {

using platform::PathAt;

// The folder of `path` as a path of its own ("." when it has none).
std::string FolderPath(const std::string& path) {
  const std::string folder = FolderOf(path);
  return folder.empty() ? "." : folder;
}

// Opens the folder `folder` for reading (listing, flushing, locking); -1
// with errno on failure.
int OpenFolder(const std::string& folder) {
  const PathAt at(folder);
  if (!at) {
    errno = at.Error();
    return -1;
  }
  return openat(at.Folder(), at.Name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// fstatat of `path`, following a final link or not; false with errno.
bool StatOf(const std::string& path, struct stat& st, bool followLink) {
  const PathAt at(path);
  if (!at) {
    errno = at.Error();
    return false;
  }
  return fstatat(at.Folder(), at.Name(), &st, followLink ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
}

// unlinkat of `path`; false with errno.
bool UnlinkPath(const std::string& path) {
  const PathAt at(path);
  if (!at) {
    errno = at.Error();
    return false;
  }
  return unlinkat(at.Folder(), at.Name(), 0) == 0;
}

std::int64_t Nanoseconds(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileStamp StampOf(const struct stat& st) {
  return {{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
          static_cast<std::int64_t>(st.st_size),
          Nanoseconds(st.st_mtim),
          Nanoseconds(st.st_ctim)};
}

// A folder lock that orders the making of locked temporary files against
// their removal.  A new file cannot be created and locked in one step, so
// CreateNew holds the folder's lock shared from before the name appears
// until the file's own lock is taken, and RemoveUnlocked holds it exclusive
// while it decides: no removal can fall between the two steps.  Where the
// folder cannot be opened or locked (no read permission, a network file
// system) the lock is simply not held; RemoveUnlocked then removes nothing.
class FolderLock {
 public:
  FolderLock(const std::string& path, int operation) {
    fd_ = OpenFolder(FolderPath(path));
    if (fd_ < 0) return;
    while (flock(fd_, operation) != 0) {
      if (errno == EINTR) continue;
      close(fd_);
      fd_ = -1;
      return;
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The hold of KeepUnderName: the descriptor whose lock keeps the name, or
// none when the file could not be opened (RemoveUnlocked, which must open
// and lock a file before removing it, cannot remove such a name either).
class PosixNameHold final : public NameHold {
 public:
  explicit PosixNameHold(int fd) : fd_(fd) {}
  ~PosixNameHold() override {
    if (fd_ >= 0) close(fd_);
  }

 private:
  int fd_;
};

// The mode a file created with 0666 gets: the process's umask, read without
// setting it (setting it would change it for a moment for every thread).
mode_t NewFileMode() {
  mode_t mask = 022;
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      unsigned int value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value);
        break;
      }
    }
    std::fclose(status);
  }
  return 0666 & ~mask;
}

// An open descriptor; closed when the object goes.
class PosixFile final : public File {
 public:
  PosixFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  ~PosixFile() override { close(fd_); }

  const std::string& Name() const override { return name_; }

  std::int64_t Size() override {
    struct stat st;
    if (fstat(fd_, &st) != 0) throw FileError(CannotReadText(name_), errno);
    return st.st_size;
  }

  FileStamp Stamp() override {
    struct stat st;
    if (fstat(fd_, &st) != 0) throw FileError(CannotReadText(name_), errno);
    return StampOf(st);
  }

  std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
    if (offset < 0) throw FileError(CannotReadText(name_), EINVAL);
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
      const ssize_t got = pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
      if (got < 0) {
        if (errno == EINTR) continue;
        throw FileError(CannotReadText(name_), errno);
      }
      if (got == 0) break;  // end of the file
      done += static_cast<std::size_t>(got);
    }
    return done;
  }

  // A write that fails or stops making progress (a full disk) is an error:
  // the caller must never take a partly written file for a whole one.
  void WriteAt(std::int64_t offset, const void* buffer, std::size_t n) override {
    if (offset < 0) throw FileError(CannotWriteText(name_), EINVAL);
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
      const ssize_t put = pwrite(fd_, in + done, n - done, static_cast<off_t>(offset + done));
      if (put < 0 && errno == EINTR) continue;
      // A write that takes nothing without an error: the device is full.
      if (put <= 0) throw FileError(CannotWriteText(name_), put < 0 ? errno : ENOSPC);
      done += static_cast<std::size_t>(put);
    }
  }

  void Sync() override {
    // EINVAL: a special file that has nothing to flush.
    if (fsync(fd_) != 0 && errno != EINVAL) throw FileError(CannotWriteText(name_), errno);
  }

  void StartSync() override { (void)sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE); }

  void SetModifiedTime(std::int64_t ns) override {
    const timespec times[2] = {
        {0, UTIME_OMIT},
        {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)}};
    (void)futimens(fd_, times);
  }

 private:
  int fd_;
  std::string name_;
};

// Opens `path` without blocking on a pipe that has no partner, refuses
// folders, pipes and sockets, and returns the descriptor in blocking mode;
// -1 on failure, with errno saying why (EISDIR for a folder, EINVAL for a
// pipe or socket).
int OpenFileDescriptor(const std::string& path, int flags, mode_t mode = 0) {
  const PathAt at(path);
  if (!at) {
    errno = at.Error();
    return -1;
  }
  const int fd = openat(at.Folder(), at.Name(), flags | O_CLOEXEC | O_NONBLOCK, mode);
  if (fd < 0) return -1;
  struct stat st;
  int reason = 0;
  if (fstat(fd, &st) != 0) {
    reason = errno;
  } else if (S_ISDIR(st.st_mode)) {
    reason = EISDIR;
  } else if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode) && !S_ISBLK(st.st_mode)) {
    reason = EINVAL;
  } else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    reason = errno;
  }
  if (reason != 0) {
    close(fd);
    errno = reason;
    return -1;
  }
  return fd;
}

std::unique_ptr<File> OpenOrThrow(const std::string& path, int flags, mode_t mode,
                                  std::string (*text)(const std::string&)) {
  const int fd = OpenFileDescriptor(path, flags, mode);
  if (fd < 0) throw FileError(text(path), errno);
  return std::make_unique<PosixFile>(fd, path);
}

// Moves `from` to `to` when `to` does not exist, without a moment in which
// an existing `to` could be replaced.
bool RenameNoReplace(const PathAt& from, const PathAt& to) {
#ifdef SYS_renameat2
  if (syscall(SYS_renameat2, from.Folder(), from.Name(), to.Folder(), to.Name(),
              RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
  // The file system cannot rename without replacing: a hard link claims the
  // new name atomically, then the old name goes.
  if (linkat(from.Folder(), from.Name(), to.Folder(), to.Name(), 0) == 0) {
    if (unlinkat(from.Folder(), from.Name(), 0) == 0) return true;
    const int reason = errno;
    unlinkat(to.Folder(), to.Name(), 0);
    errno = reason;
    return false;
  }
  if (errno == EEXIST) return false;
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK) return false;
  // Neither is available (a file system without hard links): check, then
  // rename, which leaves a short window in which another program could
  // create `to`.
  struct stat st;
  if (fstatat(to.Folder(), to.Name(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return false;
  }
  if (errno != ENOENT) return false;
  return renameat(from.Folder(), from.Name(), to.Folder(), to.Name()) == 0;
}

// Renames `from` to `to`, replacing it or not; false with errno.
bool RenamePath(const std::string& from, const std::string& to, bool replace) {
  const PathAt source(from);
  const PathAt target(to);
  if (!source || !target) {
    errno = !source ? source.Error() : target.Error();
    return false;
  }
  if (!replace) return RenameNoReplace(source, target);
  return renameat(source.Folder(), source.Name(), target.Folder(), target.Name()) == 0;
}

FileKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::kRegular;
  if (S_ISDIR(mode)) return FileKind::kFolder;
  if (S_ISLNK(mode)) return FileKind::kLink;
  return FileKind::kOther;
}

FileKind KindOf(unsigned char type) {
  switch (type) {
    case DT_REG:
      return FileKind::kRegular;
    case DT_DIR:
      return FileKind::kFolder;
    case DT_LNK:
      return FileKind::kLink;
    default:
      return FileKind::kOther;
  }
}

// The entry `entry` of the folder open as `dirfd`: what it is, asked of the
// file system only where the listing does not tell (DT_UNKNOWN) and where a
// link leads.
FolderEntry EntryOf(int dirfd, const dirent& entry) {
  FolderEntry e;
  e.name = entry.d_name;
  struct stat st;
  if (entry.d_type != DT_UNKNOWN) {
    e.kind = KindOf(entry.d_type);
  } else if (fstatat(dirfd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    e.kind = KindOf(st.st_mode);
  }
  e.linkToRegular =
      e.kind == FileKind::kLink && fstatat(dirfd, entry.d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
  return e;
}

// Every entry of `folder` ("" is the current folder) but "." and "..", in
// the file system's order.  A folder that cannot be opened or read to its
// end throws: an unreadable folder is not an empty one.
std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  const std::string shown = folder.empty() ? "." : folder;
  const int fd = OpenFolder(shown);
  DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
  if (dir == nullptr) {
    const int reason = errno;
    if (fd >= 0) close(fd);
    throw FileError(CannotListText(shown), reason);
  }
  const int dirfd = ::dirfd(dir);
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") entries.push_back(EntryOf(dirfd, *entry));
  }
  const int reason = errno;
  closedir(dir);
  if (reason != 0) throw FileError(CannotListText(shown), reason);
  return entries;
}

class PosixEnv final : public Env {
 public:
  std::unique_ptr<File> OpenRead(const std::string& path) override {
    return OpenOrThrow(path, O_RDONLY, 0, CannotOpenText);
  }

  // Opened for reading too: a temporary file is usually read back.  The lock
  // tells every other action that the file is in use; it goes with the
  // descriptor, also when the process is killed.
  std::unique_ptr<File> CreateNew(const std::string& path) override {
    const FolderLock folder(path, LOCK_SH);
    const int fd = OpenFileDescriptor(path, O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0) throw FileError(CannotCreateText(path), errno);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int reason = errno;
      close(fd);
      UnlinkPath(path);
      throw FileError(CannotCreateText(path), reason);
    }
    return std::make_unique<PosixFile>(fd, path);
  }

  std::optional<FileInfo> Stat(const std::string& path, bool followLink) override {
    struct stat st;
    if (!StatOf(path, st, followLink)) return std::nullopt;
    return FileInfo{KindOf(st.st_mode),
                    {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
                    static_cast<std::int64_t>(st.st_size)};
  }

  std::vector<FolderEntry> List(const std::string& folder) override { return ListFolder(folder); }

  OsStatus Rename(const std::string& from, const std::string& to, bool replace) override {
    return RenamePath(from, to, replace) ? OsStatus() : OsStatus::Failure(errno);
  }

  OsStatus Remove(const std::string& path) override {
    return UnlinkPath(path) ? OsStatus() : OsStatus::Failure(errno);
  }

  // The lock is taken on the file itself, and the name is removed only when
  // it still leads to that file, so a file renamed into place meanwhile (or
  // a new file that took the name) stays.  The folder's lock keeps out
  // CreateNew between its two steps.
  bool RemoveUnlocked(const std::string& path) override {
    const FolderLock folder(path, LOCK_EX);
    if (!folder.Held()) return false;
    const PathAt at(path);
    if (!at) return false;
    const int fd = openat(at.Folder(), at.Name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat held, named;
    const bool removed = fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
                         flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                         fstatat(at.Folder(), at.Name(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                         named.st_dev == held.st_dev && named.st_ino == held.st_ino &&
                         unlinkat(at.Folder(), at.Name(), 0) == 0;
    close(fd);
    return removed;
  }

  // The file is opened and locked before it gets the new name, so the name
  // is held from its first moment.  A file that cannot be opened (a link, an
  // unreadable file) is not locked, and no RemoveUnlocked can remove it
  // either.  The new name must end up naming the locked file: a file put in
  // place of `path` in between is refused.
  std::unique_ptr<NameHold> KeepUnderName(const std::string& path,
                                          const std::string& newPath) override {
    const PathAt from(path);
    const PathAt to(newPath);
    if (!from || !to) throw FileError(CannotCreateText(newPath), !from ? from.Error() : to.Error());
    // A folder is never moved aside: nothing may replace it.
    struct stat kind;
    if (fstatat(from.Folder(), from.Name(), &kind, AT_SYMLINK_NOFOLLOW) != 0) {
      throw FileError(CannotCreateText(newPath), errno);
    }
    if (S_ISDIR(kind.st_mode)) throw FileError(CannotCreateText(newPath), EISDIR);
    int fd = openat(from.Folder(), from.Name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat held;
    if (fd >= 0 &&
        (fstat(fd, &held) != 0 || !S_ISREG(held.st_mode) || flock(fd, LOCK_EX | LOCK_NB) != 0)) {
      close(fd);
      fd = -1;
    }
    auto hold = std::make_unique<PosixNameHold>(fd);
    if (linkat(from.Folder(), from.Name(), to.Folder(), to.Name(), 0) != 0) {
      const int reason = errno;
      // No second name on this file system (or for this file): the file
      // moves to the new name instead.
      const bool noLinks = reason == EPERM || reason == EOPNOTSUPP || reason == ENOTSUP ||
                           reason == EMLINK || reason == ENOSYS;
      if (!noLinks) throw FileError(CannotCreateText(newPath), reason);
      if (!RenameNoReplace(from, to)) throw FileError(CannotCreateText(newPath), errno);
    }
    struct stat named;
    if (fd >= 0 && (fstatat(to.Folder(), to.Name(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
                    named.st_dev != held.st_dev || named.st_ino != held.st_ino)) {
      unlinkat(to.Folder(), to.Name(), 0);
      throw FileError(CannotCreateText(newPath), EBUSY);
    }
    return hold;
  }

  void SyncFolder(const std::string& folder) override {
    const std::string shown = folder.empty() ? "." : folder;
    const int fd = OpenFolder(shown);
    if (fd < 0) throw FileError(CannotSyncFolderText(shown), errno);
    // EINVAL: a file system that keeps no folder data to flush.
    const int reason = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    close(fd);
    if (reason != 0) throw FileError(CannotSyncFolderText(shown), reason);
  }

  void AdoptAttributes(const std::string& path, const std::string& like) override {
    const PathAt at(path);
    if (!at) return;
    struct stat st;
    // Only a regular file lends its mode: a socket's or a device node's
    // (often rwxr-xr-x) would make the new file something it is not.
    if (!like.empty() && StatOf(like, st, /*followLink=*/false) && S_ISREG(st.st_mode)) {
      // The owner first: changing it may clear the set-id bits.  Only root
      // may give a file away; anyone else keeps the file as their own.
      if (fchownat(at.Folder(), at.Name(), st.st_uid, st.st_gid, 0) != 0) {
      }
      if (fchmodat(at.Folder(), at.Name(), st.st_mode & 07777, 0) != 0) {
      }
      return;
    }
    // What a plain create would have given: 0666 less the umask.
    if (fchmodat(at.Folder(), at.Name(), NewFileMode(), 0) != 0) {
    }
  }

  std::string CurrentFolder() override {
    std::string buffer(256, '\0');
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE) throw FileError(CannotListText("."), errno);
      buffer.resize(buffer.size() * 2);
    }
    buffer.resize(buffer.find('\0'));
    return buffer;
  }

  std::int64_t FreeSpace(const std::string& path) override {
    const PathAt at(FolderPath(path));
    if (!at) return -1;
    const int fd = openat(at.Folder(), at.Name(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct statvfs fs;
    const bool known = fstatvfs(fd, &fs) == 0;
    close(fd);
    if (!known) return -1;
    const unsigned long long blocks = fs.f_bavail;
    const unsigned long long size = fs.f_frsize;
    const auto max = static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max());
    if (size != 0 && blocks > max / size) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(blocks * size);
  }

  std::unique_ptr<FolderHold> HoldFolder(const std::string& folder) override {
    return platform::HoldFolderOf(folder);
  }
};

}  // namespace

Env& Env::Default() {
  static PosixEnv env;
  return env;
}

}  // namespace tarvel
