// MD5 digests (RFC 1321) of memory buffers and of portions of files.
//
// Every integrity decision of Tarvel rests on these digests: the digest of a
// whole file, of its first 16 KiB (to recognise a renamed file cheaply), the
// control digest of a volume (everything from byte 32 on) and the set digest.
// Nothing here keeps state between calls or reports errors: a file that
// cannot be opened or mapped yields the digest of the empty message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tarvel {

// 16 bytes in MD5's output order; stored unchanged in volume files.
using md5digest = std::array<std::uint8_t, 16>;

// The leading portion of a file that its head digest (md5first16k, a file
// entry's md5head) covers.
inline constexpr std::size_t kMd5HeadBytes = 16384;

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

// Like md5update for bytes of a file mapping.  Returns false, leaving `ctx`
// unusable, when a page could not be read (the file shrank while it was
// mapped, or the device failed) instead of the process dying of SIGBUS.
[[nodiscard]] bool md5updatemapped(md5state& ctx, const void* data, std::size_t length);

// Digest of `length` bytes at `data`.
md5digest md5buffer(const void* data, std::size_t length);
inline md5digest md5buffer(std::span<const std::uint8_t> bytes) {
  return md5buffer(bytes.data(), bytes.size());
}

// Digests of portions of the file at `path`, read through a read-only
// mapping of the whole file.  An unreadable or empty file gives the digest
// of the empty message, silently.
md5digest md5file(const std::string& path);      // the whole file
md5digest md5first16k(const std::string& path);  // the first 16384 bytes
md5digest md5from32(
    const std::string& path);  // bytes 32 to the end; empty-message digest below 33 bytes

// Both md5file and md5first16k of one file from a single pass over it.
struct md5pair {
  md5digest whole;
  md5digest head;
};
md5pair md5wholeandhead(const std::string& path);

bool md5equal(const md5digest& a, const md5digest& b);

// Lower-case hexadecimal form, for tests and diagnostics.
std::string md5hex(const md5digest& d);

}  // namespace tarvel
