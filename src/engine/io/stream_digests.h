// SPDX-License-Identifier: GPL-3.0-or-later
// The digests of byte streams that grow as they are written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "checksum/md5.h"
#include "checksum/md5_lanes.h"

namespace tarvel {

// The digests of many byte streams that grow side by side as they are
// written (the volumes of a set, the files being rebuilt), advanced sixteen
// at a time in the multi-buffer MD5.  Bytes added are hashed at the next Run
// and must stay valid and unchanged until then.
class StreamDigests {
 public:
  // The time of reading or writing a byte of a row (from or to the page
  // cache) relative to hashing one in a single stream, as measured here.
  static constexpr double kRowCost = 0.25;

  explicit StreamDigests(std::size_t count);
  StreamDigests(const StreamDigests&) = delete;
  StreamDigests& operator=(const StreamDigests&) = delete;

  // Queues the next `n` bytes of stream i.  REQUIRES: at most one Add per
  // stream between two Runs.
  void Add(std::size_t i, const std::uint8_t* data, std::size_t n);
  // Hashes everything queued.
  void Run() { Run(0, 1); }
  // Hashes what is queued in part `part` of the streams that have bytes
  // queued (every k-th of them, in the order they were added, for the k
  // parts PartsFor uses), so that `parts` threads can share the work, each
  // part its own, beside `beside` rows that the same step reads or writes.
  // The bytes are hashed once every part has run.  REQUIRES: nothing is
  // added meanwhile.
  void Run(std::size_t part, std::size_t parts, std::size_t beside = 0);
  // How many of `parts` threads the digests of `busy` streams take when the
  // same step also reads or writes `beside` rows of as many bytes: the
  // fewest that end the step soonest.  A round of vector lanes costs about
  // the same for two streams as for eight (Md5StepCost), so a few streams
  // are hashed together on one thread while the others read and write;
  // two streams with nothing beside, and streams without vector lanes
  // (where each costs its own time), are spread.
  [[nodiscard]] static std::size_t PartsFor(std::size_t busy, std::size_t parts, std::size_t beside,
                                            Md5Kernel kernel = BestMd5Kernel());

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
  std::vector<std::size_t> queued_;  // the streams added since the last Runs
};

}  // namespace tarvel
