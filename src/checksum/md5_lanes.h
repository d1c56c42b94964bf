// SPDX-License-Identifier: GPL-3.0-or-later
// Multi-buffer MD5: up to 16 independent messages advanced at once, one per
// 32-bit lane of a vector register.
//
// A set holds many files and many volumes, each an independent MD5 stream.
// One stream is bound by the chain of dependent steps inside a block; sixteen
// streams side by side fill the vector units instead.  The digests are
// exactly those of md5buffer on the same bytes.
//
// Versions: scalar (the one-stream block function, the reference, and two
// streams interleaved), AVX2 (rounds of 4 lanes in xmm and 8 in ymm
// registers) and AVX-512 (4, 8 and 16 lanes).  BestMd5Kernel() is the one
// dispatch point; tests and benchmarks can name any version the CPU has.
//
// Md5Lanes keeps 16 lanes whatever the version.  Each step hashes the lanes
// that have blocks waiting in the narrowest round of the version that holds
// them (one busy lane: the one-stream function), so a few busy streams cost
// what they need and not a full-width round of idle lanes; more busy lanes
// than the widest round holds take turns.  It is made for a caller that reads many files in
// fixed-size chunks round-robin: feed each busy lane its next chunk, Run(), collect the lanes whose
// messages ended, start the next messages in them, and so on; memory stays that of one chunk per
// lane whatever the file sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "checksum/md5.h"

namespace tarvel {

enum class Md5Kernel {
  kScalar,
  kAvx2,
  kAvx512,
};

inline constexpr Md5Kernel kAllMd5Kernels[] = {Md5Kernel::kScalar, Md5Kernel::kAvx2,
                                               Md5Kernel::kAvx512};

// Name for reports and test labels: "scalar", "avx2", "avx512".
[[nodiscard]] std::string_view Md5KernelName(Md5Kernel kernel);
// True when this build contains the version and the CPU (and OS) can run it.
[[nodiscard]] bool Md5KernelSupported(Md5Kernel kernel);
// The fastest supported version; decided once per process.
[[nodiscard]] Md5Kernel BestMd5Kernel();
// About how long a step of Md5Lanes over `busy` busy lanes takes, relative
// to one stream's block function: a round of vector lanes costs the same
// whatever lanes are busy, so up to eight streams cost little more than
// two; the version without vectors pays for every stream.  For sharing
// streams out among threads; the figures are those of this project's
// benchmark on the machines it was measured on.
[[nodiscard]] double Md5StepCost(Md5Kernel kernel, int busy);

// Sixteen MD5 contexts advanced together.  Each lane holds one message in
// progress and a short queue of what to do with it next: bytes to hash, a
// mark where the digest of the message so far is wanted, and the end of the
// message.  Queued bytes are not copied: they must stay valid and unchanged
// until the next Run() returns.  Not thread-safe; one object per thread.
class Md5Lanes {
 public:
  static constexpr int kLanes = 16;
  // Queue entries (Feed, MarkHead, End) a lane can hold between two Runs.
  static constexpr int kMaxQueued = 8;

  // REQUIRES: Md5KernelSupported(kernel).
  explicit Md5Lanes(Md5Kernel kernel = BestMd5Kernel());
  Md5Lanes(const Md5Lanes&) = delete;
  Md5Lanes& operator=(const Md5Lanes&) = delete;

  [[nodiscard]] Md5Kernel kernel() const { return kernel_; }

  // Queues `length` bytes as the continuation of the lane's message.
  // REQUIRES: 0 <= lane < kLanes, fewer than kMaxQueued entries queued,
  //           !Ended(lane).
  void Feed(int lane, const void* data, std::size_t length);
  // Queues a mark: after the next Run, HeadDigest(lane) is the digest of the
  // bytes fed before the mark.  REQUIRES: as for Feed.
  void MarkHead(int lane);
  // Queues the end of the message: after the next Run, Ended(lane) is true
  // and Digest(lane) gives its digest.  Nothing more may be queued in the
  // lane until the digest has been taken.  REQUIRES: as for Feed.
  void End(int lane);

  // Hashes everything queued in every lane, padding and length blocks of
  // ended messages included.
  void Run();

  // True when the lane's message has ended and been hashed.
  [[nodiscard]] bool Ended(int lane) const;
  // The digest of the ended message; the lane then starts a new, empty one.
  // REQUIRES: Ended(lane).
  [[nodiscard]] md5digest Digest(int lane);
  // The digest of the bytes fed before the last mark of this message.
  // REQUIRES: MarkHead(lane) and Run() since the message started (so before
  //           Digest(lane) or Restart(lane) start the next one).
  [[nodiscard]] md5digest HeadDigest(int lane) const;
  // Bytes of the current message queued so far.
  [[nodiscard]] std::uint64_t Length(int lane) const;
  // The context of the lane's message between Runs, to continue it later in
  // any lane of any Md5Lanes with Resume.
  // REQUIRES: nothing queued in the lane since the last Run, !Ended(lane).
  [[nodiscard]] md5state Save(int lane) const;
  // Continues a saved message in the lane.
  // REQUIRES: the lane's message is new and empty (nothing fed since it
  //           started); `ctx` comes from Save.
  void Resume(int lane, const md5state& ctx);
  // Drops the lane's message and queue (a source that failed); the lane
  // starts a new, empty message.  Other lanes are not affected.
  void Restart(int lane);

 private:
  enum class EntryKind { kData, kMark, kEnd };
  struct Entry {
    const std::uint8_t* data;
    std::size_t length;
    EntryKind kind;
  };
  struct Lane {
    Entry queue[kMaxQueued];
    int queued = 0;                    // entries in the queue
    int taken = 0;                     // entries already started
    const std::uint8_t* in = nullptr;  // rest of the data entry being hashed
    std::size_t inLeft = 0;
    const std::uint8_t* ready = nullptr;  // next whole blocks to hash
    std::size_t readyBlocks = 0;
    std::uint8_t buffer[128];  // a partial block, or the final padded blocks
    std::size_t buffered = 0;
    std::uint64_t length = 0;   // bytes of the message queued so far
    std::uint64_t started = 0;  // bytes of the data entries started so far
    bool ended = false;         // the end entry has been started
    bool hasHead = false;
    md5state head;  // the context at the mark
  };

  void Queue(int lane, const Entry& entry);
  // Makes the lane's next run of whole blocks ready; returns their count, 0
  // when the lane's queue is done.
  std::size_t Prepare(int lane);
  // Hashes ready blocks of the busy lanes in the round of their number;
  // false when no lane has any left.
  bool Step();
  // The lane's message so far as a one-stream context (state, count, the
  // bytes waiting in the buffer).
  md5state Context(int lane) const;
  void LoadContext(int lane, std::uint32_t out[4]) const;
  void StoreContext(int lane, const std::uint32_t in[4]);

  Md5Kernel kernel_;
  alignas(64) std::uint32_t state_[4][kLanes];  // word-major: state_[w][lane]
  Lane lanes_[kLanes];
};

// Digests of many messages in memory at once, in the order given; each equals
// md5buffer of the same bytes.  Long messages are fed in slices round-robin,
// and lanes whose message ends take the next one.
// REQUIRES: Md5KernelSupported(kernel).
[[nodiscard]] std::vector<md5digest> md5many(
    std::span<const std::span<const std::uint8_t>> messages, Md5Kernel kernel = BestMd5Kernel());

}  // namespace tarvel
