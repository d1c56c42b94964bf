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
// Passes that hash many files at once use FileHashPass (file_hash_pass.h),
// with the same results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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

// The size of the file at `path`, or 0 when there is none (for the progress
// of a pass, before the pass opens the file itself).
std::int64_t SizeOrZero(Env& env, const std::string& path);

// Of the file at `path`, opened through `env` and closed again.
md5digest md5file(Env& env, const std::string& path);
md5digest md5first16k(Env& env, const std::string& path);
md5digest md5from32(Env& env, const std::string& path);

}  // namespace tarvel
