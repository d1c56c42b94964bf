#include "engine/io/file_digests.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace tarvel {
namespace {

constexpr auto kHeadBytes = static_cast<std::int64_t>(kMd5HeadBytes);
constexpr std::int64_t kToTheEnd = std::numeric_limits<std::int64_t>::max();
// A buffer never smaller than this, whatever size the file claims (a device
// reports 0).
constexpr std::int64_t kSmallestBuffer = 64 * 1024;

// Feeds bytes [begin, end) of the file to `ctx`, stopping early at the end
// of the file; `head`, when given, receives the digest of the first
// kHeadBytes bytes hashed (of all of them when there are fewer).
void HashRange(File& file, std::int64_t begin, std::int64_t end, md5state& ctx, md5digest* head) {
  const std::int64_t capacity =
      std::clamp(file.Size() - begin, kSmallestBuffer, static_cast<std::int64_t>(kDigestReadSize));
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(capacity));
  std::int64_t offset = begin;
  bool headDone = head == nullptr;
  while (offset < end) {
    const auto want = static_cast<std::size_t>(std::min(end - offset, capacity));
    const std::size_t got = file.ReadAt(offset, buffer.data(), want);
    std::size_t used = 0;
    if (!headDone && offset - begin + static_cast<std::int64_t>(got) >= kHeadBytes) {
      // The head ends inside this chunk: finish a copy of the context there.
      used = static_cast<std::size_t>(kHeadBytes - (offset - begin));
      md5update(ctx, buffer.data(), used);
      md5state copy = ctx;
      md5final(copy, *head);
      headDone = true;
    }
    md5update(ctx, buffer.data() + used, got - used);
    offset += static_cast<std::int64_t>(got);
    if (got < want) break;  // the end of the file
  }
  if (!headDone) {
    md5state copy = ctx;
    md5final(copy, *head);
  }
}

md5digest Portion(File& file, std::int64_t begin, std::int64_t end) {
  md5state ctx;
  md5init(ctx);
  HashRange(file, begin, end, ctx, nullptr);
  md5digest out;
  md5final(ctx, out);
  return out;
}

// The digest of an empty message stands for a file that cannot be opened.
template <typename Digest>
md5digest OfPath(Env& env, const std::string& path, Digest digest) {
  std::unique_ptr<File> file;
  try {
    file = env.OpenRead(path);
  } catch (const FileError&) {
    return md5buffer(nullptr, 0);
  }
  return digest(*file);
}

}  // namespace

md5digest md5file(File& file) { return Portion(file, 0, kToTheEnd); }
md5digest md5first16k(File& file) { return Portion(file, 0, kHeadBytes); }
md5digest md5from32(File& file) { return Portion(file, kControlDigestStart, kToTheEnd); }

md5pair md5wholeandhead(File& file) {
  md5state ctx;
  md5init(ctx);
  md5pair result;
  HashRange(file, 0, kToTheEnd, ctx, &result.head);
  md5final(ctx, result.whole);
  return result;
}

std::int64_t SizeOrZero(Env& env, const std::string& path) {
  return std::max<std::int64_t>(env.SizeOf(path), 0);
}

md5digest md5file(Env& env, const std::string& path) {
  return OfPath(env, path, [](File& f) { return md5file(f); });
}
md5digest md5first16k(Env& env, const std::string& path) {
  return OfPath(env, path, [](File& f) { return md5first16k(f); });
}
md5digest md5from32(Env& env, const std::string& path) {
  return OfPath(env, path, [](File& f) { return md5from32(f); });
}

}  // namespace tarvel
