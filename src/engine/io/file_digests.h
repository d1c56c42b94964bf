// SPDX-License-Identifier: GPL-3.0-or-later
// The control digest of one volume, read through the file layer (Env)
// rather than by mapping, so that every read can be failed on purpose in
// tests and memory stays the same whatever the size of the volume: the file
// is read in chunks of kDigestReadSize bytes, one after another, into one
// buffer.  A read that fails throws the file layer's FileError: an I/O
// error is never taken for a file's content.  A file that ends sooner than
// its size said is hashed as far as it goes.
//
// Passes that hash many files at once use FileHashPass (file_hash_pass.h),
// with the same digests as checksum/md5.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "checksum/md5.h"
#include "platform/env.h"

namespace tarvel {

// Where a volume's control digest starts (md5from32).
inline constexpr std::int64_t kControlDigestStart = 32;

// Bytes asked for by each read while hashing.
inline constexpr std::size_t kDigestReadSize = std::size_t{1} << 20;

// What md5from32 read of a file: the digest of bytes 32 to the end, that
// of the first 16384 of them, and how many there were.
struct ControlReading {
  md5digest whole{};
  md5digest head{};
  std::int64_t hashed = 0;
};

// md5from32 of a file opened by the caller: bytes 32 to the end.
md5digest md5from32(File& file);
ControlReading ReadControlDigest(File& file);

// The size of the file at `path`, or 0 when there is none (for the progress
// of a pass, before the pass opens the file itself).
std::int64_t SizeOrZero(Env& env, const std::string& path);

}  // namespace tarvel
