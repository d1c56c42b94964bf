// The digests of files, read through the file layer (Env) rather than by
// mapping, so that every read of a file can be failed on purpose in tests
// and memory stays the same whatever the size of the files: a file is read
// in chunks of kDigestReadSize bytes, one after another, into one buffer.
//
// The same four digests as checksum/md5.h, taken through an Env:
//   md5file      the whole file
//   md5first16k  the first 16384 bytes (the whole file when shorter)
//   md5from32    bytes 32 to the end (a volume's control digest)
//   md5wholeandhead  md5file and md5first16k from one pass
// Given a path, a file that cannot be opened gives the digest of the empty
// message, silently, as a missing file does.  A read that fails once the
// file is open throws the file layer's FileError: an I/O error is never
// taken for a file's content.  A file that ends sooner than its size said
// is hashed as far as it goes.
//
// Passes that hash many files (the analysis, the check of a set's files
// and volumes, the content search) use FileHashPass, which reads all of
// them at once through the multi-buffer MD5 on several threads, in fixed
// chunks, with the same results as the functions above.
//
// This is the one place where the engine hashes files; creating, checking
// and restoring all come here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "checksum/md5.h"
#include "platform/env.h"

namespace tarvel {

// Where a volume's control digest starts (md5from32).
inline constexpr std::int64_t kControlDigestStart = 32;

// Bytes asked for by each read while hashing.
inline constexpr std::size_t kDigestReadSize = std::size_t{1} << 20;

// Of a file opened by the caller.
md5digest md5file(File& file);
md5digest md5first16k(File& file);
md5digest md5from32(File& file);
md5pair md5wholeandhead(File& file);

// Of the file at `path`, opened through `env` and closed again.
md5digest md5file(Env& env, const std::string& path);
md5digest md5first16k(Env& env, const std::string& path);
md5digest md5from32(Env& env, const std::string& path);

// One file of a FileHashPass.
struct FileHashJob {
  std::string path;
  // The first byte hashed: 0 for md5file, 32 for md5from32.
  std::int64_t start = 0;
  // Bytes hashed at most from `start` on (16384 for md5first16k); -1: to
  // the end of the file.
  std::int64_t limit = -1;
  // A file that cannot be opened is an error (the FileError of the open)
  // rather than the empty message.
  bool mustOpen = false;
};

// What a pass learnt of one file.
struct FileHashResult {
  bool opened = false;
  std::int64_t size = 0;  // the file's size when it was opened
  // The file's stamp when it was opened and when its last byte had been
  // read, and the bytes hashed: a file that changed while it was read shows
  // a difference (a file that ended early or grew, a new change time).
  FileStamp opening{};
  FileStamp ending{};
  std::int64_t hashed = 0;
  // The FileError of a read (or, with mustOpen, of the open); the digests
  // mean nothing then.
  std::exception_ptr error;
  md5digest whole{};  // of the bytes hashed, as far as the file goes
  md5digest head{};   // of the first 16384 of them
};

// Hashes many files at once.  Each file is opened when its first chunk is
// read and closed when its last has been, read through the Env in chunks of
// a fixed size, so memory stays fixed whatever the file sizes.  Results are
// exactly those of md5file, md5first16k and md5from32: a file that cannot
// be opened gives the empty message, one that ends sooner than its size is
// hashed as far as it goes, and a failed read is kept as the job's error for
// the caller to throw when its turn comes, so that errors surface for the
// same file, in the same order, as when files are hashed one by one.
//
// `threads` as for the engine: 0 = one per online CPU, 1 = the calling
// thread alone.  Worker threads only read and hash; the progress callback
// runs on the calling thread, every few milliseconds while the pass runs, and
// may talk to the user; if it throws, the pass stops and the exception
// passes on.
class FileHashPass {
 public:
  FileHashPass(Env& env, std::vector<FileHashJob> jobs, int threads);
  ~FileHashPass();
  FileHashPass(const FileHashPass&) = delete;
  FileHashPass& operator=(const FileHashPass&) = delete;

  // Runs the pass; afterwards every job is Over and its Result complete.
  void Run(const std::function<void()>& progress);

  [[nodiscard]] std::size_t Count() const { return jobs_.size(); }
  // True once the reading of job i is over (it ended, failed or could not
  // be opened).  Safe to ask while the pass runs.
  [[nodiscard]] bool Over(std::size_t i) const;
  // REQUIRES: Over(i).  While the pass runs only opened, size, the stamps,
  // hashed and error are set; the digests once Run has returned.
  [[nodiscard]] const FileHashResult& Result(std::size_t i) const { return results_[i]; }
  // Throws job i's error, if it has one.  REQUIRES: Over(i).
  void ThrowError(std::size_t i) const;

 private:
  std::size_t Read(std::size_t i, std::uint64_t offset, std::uint8_t* buffer, std::size_t n);
  void Finish(std::size_t i, std::unique_ptr<File>& file);

  Env& env_;
  std::vector<FileHashJob> jobs_;
  int threads_;
  std::vector<FileHashResult> results_;
  std::vector<std::unique_ptr<File>> files_;  // open while a job is read
  std::unique_ptr<std::atomic<bool>[]> over_;
};

// The digests of many byte streams that grow side by side as they are
// written (the volumes of a set, the files being rebuilt), advanced sixteen
// at a time in the multi-buffer MD5.  Bytes added are hashed at the next Run
// and must stay valid and unchanged until then.
class StreamDigests {
 public:
  explicit StreamDigests(std::size_t count);
  StreamDigests(const StreamDigests&) = delete;
  StreamDigests& operator=(const StreamDigests&) = delete;

  // Queues the next `n` bytes of stream i.  REQUIRES: at most one Add per
  // stream between two Runs.
  void Add(std::size_t i, const std::uint8_t* data, std::size_t n);
  // Hashes everything queued.
  void Run() { Run(0, 1); }
  // Hashes what is queued in the streams i with i % parts == part, so that
  // `parts` threads can share the work (each part its own).
  void Run(std::size_t part, std::size_t parts);

  // Bytes of stream i so far.
  [[nodiscard]] std::int64_t Length(std::size_t i) const { return streams_[i].length; }
  // The digest of all bytes of stream i, and of their first 16384 (all of
  // them when there are fewer).  REQUIRES: nothing queued since Run.
  [[nodiscard]] md5digest Whole(std::size_t i) const;
  [[nodiscard]] md5digest Head(std::size_t i) const;

 private:
  struct Stream {
    md5state ctx{};
    std::int64_t length = 0;
    bool haveHead = false;
    md5digest head{};
    const std::uint8_t* data = nullptr;  // queued
    std::size_t queued = 0;
  };
  std::vector<Stream> streams_;
};

// Runs the user's pending events at most every ~50 ms however often it is
// called: for the progress callback of a pass, which comes every few
// milliseconds.
class EventPacer {
 public:
  explicit EventPacer(std::function<void()> processEvents)
      : processEvents_(std::move(processEvents)) {}
  void operator()();

 private:
  std::function<void()> processEvents_;
  std::int64_t last_ = 0;  // milliseconds of the steady clock
};

// Shows a pass's steps in their order while the pass runs.  Step i is shown
// (`show`) once the steps before it are done, and done (`done`) once
// `ready(i)` says its outcome is known; `done` may throw, which ends the
// pass with that error right after the step that caused it was shown.
// While the steps wait, the user's pending events run about every 50 ms.
class StepsInOrder {
 public:
  StepsInOrder(std::size_t count, std::function<void(std::size_t)> show,
               std::function<bool(std::size_t)> ready, std::function<void(std::size_t)> done,
               std::function<void()> processEvents);

  // Shows and finishes as many steps as are ready; for the progress callback.
  void Advance();
  // Shows and finishes the rest, after the pass.
  void Complete() { Advance(); }

 private:
  std::size_t count_;
  std::function<void(std::size_t)> show_;
  std::function<bool(std::size_t)> ready_;
  std::function<void(std::size_t)> done_;
  EventPacer processEvents_;
  std::size_t shown_ = 0;
  std::size_t finished_ = 0;
};

}  // namespace tarvel
