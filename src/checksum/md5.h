// SPDX-License-Identifier: GPL-3.0-or-later
// MD5 digests (RFC 1321) of memory buffers and of byte streams fed in order.
//
// Every integrity decision of Tarvel rests on these digests: the digest of a
// whole file, of its first 16 KiB (to recognise a renamed file cheaply), the
// control digest of a volume (everything from byte 32 on) and the set digest.
// Nothing here reads files: the engine reads them through its file layer and
// feeds the bytes in (engine/file_digests.h, checksum/hash_jobs.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tarvel {

// 16 bytes in MD5's output order; stored unchanged in volume files.
using md5digest = std::array<std::uint8_t, 16>;

// The leading portion of a file that its head digest (a file entry's
// md5head) covers.
inline constexpr std::size_t kMd5HeadBytes = 16384;

// Of `length` bytes that continue a stream after its first `offset`, how
// many belong to its head (its first kMd5HeadBytes).  The head ends within
// those bytes when the result is not 0 and offset + result == kMd5HeadBytes.
constexpr std::size_t Md5HeadPart(std::uint64_t offset, std::size_t length) {
  if (offset >= kMd5HeadBytes) return 0;
  const std::uint64_t left = kMd5HeadBytes - offset;
  return length < left ? length : static_cast<std::size_t>(left);
}

// Incremental MD5 context.  md5final writes the digest and clears the whole
// context (state, count and buffer) to zero.
struct md5state {
  std::uint32_t state[4];
  std::uint32_t count[2];  // message length in bits, low word first
  std::uint8_t buffer[64];
};

void md5init(md5state& ctx);
void md5update(md5state& ctx, const void* data, std::size_t length);
void md5final(md5state& ctx, md5digest& out);

// Digest of `length` bytes at `data`.
md5digest md5buffer(const void* data, std::size_t length);
inline md5digest md5buffer(std::span<const std::uint8_t> bytes) {
  return md5buffer(bytes.data(), bytes.size());
}

// The digest of all bytes of a stream and of its head.
struct md5pair {
  md5digest whole;
  md5digest head;
};

// The whole and head digests of one stream whose bytes are fed in order, in
// pieces of any size, from a single pass over them.  Whole, Head and Pair
// may be asked at any time and do not disturb further updates.  Md5Lanes
// (md5_lanes.h) does the same for many streams at once with MarkHead at
// Md5HeadPart.
class Md5WholeAndHead {
 public:
  Md5WholeAndHead() { md5init(ctx_); }

  // Feeds the next `length` bytes of the stream.
  void Update(const void* data, std::size_t length);
  void Update(std::span<const std::uint8_t> bytes) { Update(bytes.data(), bytes.size()); }

  // The digest of every byte fed so far.
  [[nodiscard]] md5digest Whole() const;
  // The digest of the first kMd5HeadBytes fed (of all of them while fewer
  // have been fed).
  [[nodiscard]] md5digest Head() const;
  [[nodiscard]] md5pair Pair() const { return {Whole(), Head()}; }
  // Bytes fed so far.
  [[nodiscard]] std::int64_t Length() const { return length_; }

 private:
  md5state ctx_;
  std::int64_t length_ = 0;
  md5digest head_{};  // once Length() >= kMd5HeadBytes
};

bool md5equal(const md5digest& a, const md5digest& b);

// Lower-case hexadecimal form, for tests and diagnostics.
std::string md5hex(const md5digest& d);

}  // namespace tarvel
