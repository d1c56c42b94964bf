// SPDX-License-Identifier: GPL-3.0-or-later
// What one action has learnt of the contents of files: the digests a pass
// took of a file, kept by the file's stamp, so that a later pass of the same
// action (the check after a repair's rebuild) need not read an unchanged
// file again.  It lives for one action, never longer: a file changed by
// another program meanwhile is read again, as its stamp (identity, size,
// change time) moves.
//
// A change time only moves when the clock that gives it has moved: a file
// written again within the same tick of a coarse file-system clock can keep
// its stamp.  So a file is remembered only when its last change lies well
// before the pass that read it began (kSettledNs); any change after the
// reading then has a later change time.  A file changed moments before it
// was read is simply read again when asked for.  "Before" is told by the
// clock of the file system that stamps the files (a network server's may
// be far behind this machine's), never by this process's clock.
//
// Safe to use from several threads at once.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

#include "checksum/md5.h"
#include "platform/env.h"

namespace tarvel {

class DigestMemo {
 public:
  // The time now by the clock of the file system the files are on, as it
  // stamps them (nanoseconds since the epoch); nothing when it cannot be
  // told, and then nothing is remembered.
  using Clock = std::function<std::optional<std::int64_t>()>;
  explicit DigestMemo(Clock fileSystemNow) : fileSystemNow_(std::move(fileSystemNow)) {}

  // How long before a pass began a file must have last changed to be
  // remembered: more than the coarsest time stamps of the file systems in
  // use (two seconds on FAT) and any lag of the clock that sets them.
  static constexpr std::int64_t kSettledNs = 2'000'000'000;

  // What a pass took of a file from `start`, at most `limit` bytes (-1: to
  // the end).
  struct Digests {
    std::int64_t hashed = 0;  // bytes hashed
    md5digest whole{};
    md5digest head{};  // of the first 16384 of them
  };

  // The digests taken of the file with exactly this stamp, over the same
  // bytes, in this action; nothing when there are none.
  [[nodiscard]] std::optional<Digests> Find(const FileStamp& stamp, std::int64_t start,
                                            std::int64_t limit) const;
  // Keeps what a pass that began at `passStartNs` (PassStart) took of a
  // file whose stamp was `stamp` from its opening to its last byte.  A file
  // changed too shortly before is not kept.
  void Remember(const FileStamp& stamp, std::int64_t start, std::int64_t limit,
                const Digests& digests, std::int64_t passStartNs);

  // The start of a pass, by the file system's clock: taken before the pass
  // opens its first file.  Nothing: the pass remembers nothing.
  [[nodiscard]] std::optional<std::int64_t> PassStart() const { return fileSystemNow_(); }

  // Keeps the digests however shortly before the file last changed: only
  // for a hand-over within one check (the volumes read beside the files,
  // handed to the volume search that comes next), where a later pass takes
  // them as the reading of that same check.  Such a memo is emptied by
  // Clear once that pass is over; a memo kept by the settled rule (Remember)
  // never takes these.
  void Keep(const FileStamp& stamp, std::int64_t start, std::int64_t limit, const Digests& digests);
  void Clear();

 private:
  using Key = std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::int64_t, std::int64_t,
                         std::int64_t, std::int64_t>;
  static Key KeyOf(const FileStamp& stamp, std::int64_t start, std::int64_t limit);

  Clock fileSystemNow_;
  mutable std::mutex mutex_;
  std::map<Key, Digests> digests_;
};

}  // namespace tarvel
