// SPDX-License-Identifier: GPL-3.0-or-later
// The file layer and the other operating-system services the engine needs.
//
// Everything the engine does with files goes through an Env, so that tests
// can put a fault-injecting Env in front of the real one.  Failures are
// thrown as FileError carrying the text the user will see:
//   "Datei %s kann nicht geöffnet werden"   (a file that cannot be opened)
//   "Datei %s kann nicht erstellt werden"   (a file that cannot be created)
//   "Datei %s kann nicht geschrieben werden" (a write that fails or falls short)
//   "Datei %s kann nicht gelesen werden"     (a read that fails with an I/O error)
//   "Ordner %s kann nicht gelesen werden"    (a folder that cannot be listed)
//   "Ordner %s kann nicht geschrieben werden" (a folder whose entries cannot be flushed)
// where %s is the file name exactly as the caller gave it.  The operating
// system's reason (its error number) travels beside the text, for front ends
// that show it; calls that report failure without throwing (Rename, Remove)
// return it too.
//
// Paths may be of any length.  The system takes no path of PATH_MAX (4096)
// bytes or more, so Env::Default() reaches a longer one folder by folder and
// hands only the rest to the system (see path_at.h): a folder however deep
// works like any other, and its paths are named in error texts as given.
//
// Folders held for an action.  While a hold made by HoldFolder(F) lives,
// every path spelled from F ("F/name", "F/sub/name", F itself) is reached
// through the folder that F named when the hold was made, not by its name
// again: an action keeps working in its folder if the folder is renamed,
// moved or replaced meanwhile, and a deep folder is walked once.  Paths are
// matched by their spelling (the paths an action forms from its folder), so
// a path that reaches the folder another way ("F/../F/name", a link) is
// reached by its name.  Holds belong to the whole process and nest: the
// innermost held folder containing a path is the one used, and a folder held
// again while held stays the one opened by the first hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvel {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // `osError`: the errno value behind the failure, 0 when there is none
  // (a short read, a file of the wrong kind, an Env that is not the system's).
  FileError(const std::string& text, int osError) : std::runtime_error(text), osError_(osError) {}

  int OsError() const { return osError_; }

 private:
  int osError_ = 0;
};

// Builders of the error texts.
std::string CannotOpenText(const std::string& name);
std::string CannotCreateText(const std::string& name);
std::string CannotWriteText(const std::string& name);
std::string CannotReadText(const std::string& name);
std::string CannotListText(const std::string& folder);
std::string CannotSyncFolderText(const std::string& folder);

// `text` followed by the system's reason for `osError` in parentheses
// ("... (No space left on device)"); `text` alone when there is no reason.
std::string WithReason(const std::string& text, int osError);

// True for the errors with which a failing medium answers a read (an
// unreadable sector, a device gone bad): EIO, ENXIO, EBADMSG, EUCLEAN and
// ENODATA.  A file that answers so is damaged; any other failure (no
// permission, a loop of links) says nothing of what the file holds.
bool IsDamageError(int osError);

// The outcome of a file-layer call that reports failure without throwing:
// success, or failure with the system's reason when there is one.
class [[nodiscard]] OsStatus {
 public:
  OsStatus() = default;  // success
  // A failure; `osError` 0 when the reason is not known.
  static OsStatus Failure(int osError) { return OsStatus(osError == 0 ? kUnknown : osError); }

  explicit operator bool() const { return error_ == 0; }
  // The errno value of a failure, 0 when unknown or on success.
  int Reason() const { return error_ == kUnknown ? 0 : error_; }

 private:
  static constexpr int kUnknown = -1;
  explicit OsStatus(int error) : error_(error) {}
  int error_ = 0;
};

// Where a file lives: two names with equal identities are one file.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

// What tells whether a file changed: where it lives, its size and the times
// of its last change of content (modification) and of anything about it
// (status change, which no program can set back).
struct FileStamp {
  FileIdentity identity;
  std::int64_t size = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;
  bool operator==(const FileStamp&) const = default;
};

// What a name of the file system is.
enum class FileKind : std::uint8_t { kRegular, kFolder, kLink, kOther };

// What Env::Stat tells of a name.
struct FileInfo {
  FileKind kind = FileKind::kOther;
  FileIdentity identity;
  std::int64_t size = 0;
};

// An entry of a folder: its bare name, what it is itself (a symbolic link
// is kLink), and, for a link, whether it leads to a regular file.
struct FolderEntry {
  std::string name;
  FileKind kind = FileKind::kOther;
  bool linkToRegular = false;
};

// Keeps a name that the file layer made (Env::KeepUnderName) from being
// taken for abandoned while the object lives.
class NameHold {
 public:
  virtual ~NameHold() = default;
};

// Keeps a folder held while the object lives (Env::HoldFolder).
class FolderHold {
 public:
  FolderHold() = default;
  virtual ~FolderHold() = default;
  FolderHold(const FolderHold&) = delete;
  FolderHold& operator=(const FolderHold&) = delete;
};

// An open file.  Closed when the object is destroyed, on every path.
class File {
 public:
  virtual ~File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // The name the file was opened under (used in error texts).
  virtual const std::string& Name() const = 0;

  // Current size in bytes.
  virtual std::int64_t Size() = 0;

  // The open file's identity, size and times.  Throws "... kann nicht
  // gelesen werden" when the system cannot tell.
  virtual FileStamp Stamp() = 0;

  // Reads up to `n` bytes at `offset`; returns the count read, which is less
  // than `n` only at the end of the file.  An I/O error throws FileError.
  virtual std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t n) = 0;

  // Writes exactly `n` bytes at `offset`, or throws FileError
  // ("... kann nicht geschrieben werden").
  virtual void WriteAt(std::int64_t offset, const void* buffer, std::size_t n) = 0;

  // Flushes written data to stable storage, or throws FileError.
  virtual void Sync() = 0;

  // Starts flushing what has been written so far without waiting for it, so
  // that a later Sync has less to wait for.  Only a hint: nothing is
  // promised until Sync has returned, which also reports any failure.
  virtual void StartSync() {}

  // Gives the file the modification time `ns` (nanoseconds since the epoch),
  // once everything is written to it.  Best effort: a file system that
  // cannot keep that time keeps its own.
  virtual void SetModifiedTime(std::int64_t ns) { (void)ns; }

 protected:
  File() = default;
};

class Env {
 public:
  virtual ~Env() = default;

  // The process-wide Env of the real file system.
  static Env& Default();

  // Opens an existing file for reading.  Throws "... kann nicht geöffnet werden".
  virtual std::unique_ptr<File> OpenRead(const std::string& path) = 0;
  // Creates a new file that must not exist yet (for temporary files), readable
  // and writable by its owner only, and holds an exclusive lock on it while
  // it is open, so that RemoveUnlocked in any process leaves it alone.  The
  // lock is held from the moment the name can be seen: no RemoveUnlocked
  // running at the same time can take the new file for an abandoned one.
  // Throws "... kann nicht erstellt werden".
  virtual std::unique_ptr<File> CreateNew(const std::string& path) = 0;

  // What `path` names, following a final symbolic link or not; nothing when
  // it does not exist or cannot be reached.
  virtual std::optional<FileInfo> Stat(const std::string& path, bool followLink) = 0;

  // Every entry of `folder` but "." and "..", hidden ones included, in the
  // file system's order.  A folder that cannot be listed throws "Ordner ...
  // kann nicht gelesen werden": it is never taken for an empty one.
  virtual std::vector<FolderEntry> List(const std::string& folder) = 0;

  // What the engine asks of those two.
  //
  // The bare names of the plain files of `folder`: regular files and
  // symbolic links to regular files, never folders, devices, sockets, pipes
  // or hidden files (a name starting with ".").  Throws like List.
  std::vector<std::string> ListPlainFiles(const std::string& folder);
  // The bare names of the folders in `folder`, never hidden ones nor
  // symbolic links to folders.  Throws like List.
  std::vector<std::string> ListFolders(const std::string& folder);
  // The bare names of the hidden regular files of `folder` (names starting
  // with "."; symbolic links are left out).  Where temporary files are looked
  // for.  Throws like List.
  std::vector<std::string> ListHiddenFiles(const std::string& folder);
  // True when `name` in `folder` is a regular file or a symbolic link to
  // one.  Unlike the listing, a name starting with "." counts: a file list
  // may name such a file, and it is then looked up by its name.  "." and
  // ".." and names with a '/' never count.
  bool IsPlainFile(const std::string& folder, const std::string& name);
  // True when `path` itself is a symbolic link (whatever it leads to).
  bool IsSymbolicLink(const std::string& path);
  // The device and inode of `path`, following a final symbolic link or not;
  // nothing when it does not exist.  Two paths name one file exactly when
  // their identities are equal, whatever their spelling.
  std::optional<FileIdentity> Identity(const std::string& path, bool followLink);
  // The size of the file `path` (a link followed), without opening it; -1
  // when it does not exist or cannot be reached.
  std::int64_t SizeOf(const std::string& path);

  // Renames `from` to `to`.  With replace = false, fails when `to` exists.
  // A failure carries the system's reason.
  virtual OsStatus Rename(const std::string& from, const std::string& to, bool replace) = 0;

  // Removes a file (a link itself, never what it leads to).
  virtual OsStatus Remove(const std::string& path) = 0;

  // Removes the regular file `path` (never a link) unless an open file holds
  // its lock (see CreateNew, KeepUnderName); false when it is held or could
  // not be removed.
  virtual bool RemoveUnlocked(const std::string& path) = 0;

  // Makes `newPath`, which must not exist, a name of the file that `path`
  // names (never followed when it is a link; never a folder): a second name where the file
  // system allows one, else its only name (`path` is then gone).  While the
  // returned hold lives, RemoveUnlocked leaves `newPath` alone, as it leaves
  // an open temporary file.  Used to keep a file that is being replaced
  // until its replacement is certain.  Throws "... kann nicht erstellt
  // werden" naming `newPath`.
  virtual std::unique_ptr<NameHold> KeepUnderName(const std::string& path,
                                                  const std::string& newPath) = 0;

  // Flushes the entries of `folder` (names created, renamed or removed) to
  // stable storage, so that what was put in place stays after a power cut.
  // Throws "Ordner ... kann nicht geschrieben werden".
  virtual void SyncFolder(const std::string& folder) = 0;

  // Gives the file `path` the permissions and, where the system allows, the
  // owner of the regular file `like`; when `like` is empty, does not exist or
  // is no regular file (a socket, pipe, device node or symbolic link, whose
  // mode means nothing for a file), the permissions a newly created file
  // gets.  Used when a file is replaced by a new one, so that a private file
  // stays private.  Failures are ignored.
  virtual void AdoptAttributes(const std::string& path, const std::string& like) {
    (void)path;
    (void)like;
  }

  // The process's current folder (absolute).  Throws "Ordner . kann nicht
  // gelesen werden" when the system cannot tell (it was removed).
  virtual std::string CurrentFolder() = 0;

  // Free bytes on the file system where `path` would be created (its folder
  // is asked); -1 when unknown.
  virtual std::int64_t FreeSpace(const std::string& path) = 0;

  // Milliseconds of a clock that only goes forward, for pacing what an
  // action shows while it runs.
  virtual std::int64_t NowMs();

  // Holds `folder` (see "Folders held for an action" above) until the
  // returned object goes.  A folder that cannot be opened is not held: its
  // paths are then reached by name, and fail on their own.  An Env that
  // reaches files by name only holds nothing.
  virtual std::unique_ptr<FolderHold> HoldFolder(const std::string& folder) {
    (void)folder;
    return std::make_unique<FolderHold>();
  }
};

// Path helpers (byte strings, '/' as separator).
std::string JoinPath(const std::string& folder, const std::string& name);
std::string FolderOf(const std::string& path);  // "" when there is no folder part; "/" for "/x"
std::string BareName(const std::string& path);  // the last component

}  // namespace tarvel
