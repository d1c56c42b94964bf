// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/io/file_digests.h"

#include <algorithm>
#include <vector>

namespace tarvel {
namespace {

// A buffer never smaller than this, whatever size the file claims (a device
// reports 0).
constexpr std::int64_t kSmallestBuffer = 64 * 1024;

}  // namespace

md5digest md5from32(File& file) { return ReadControlDigest(file).whole; }

ControlReading ReadControlDigest(File& file) {
  const std::int64_t capacity = std::clamp(file.Size() - kControlDigestStart, kSmallestBuffer,
                                           static_cast<std::int64_t>(kDigestReadSize));
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(capacity));
  Md5WholeAndHead digests;
  for (std::int64_t offset = kControlDigestStart;;) {
    const auto want = static_cast<std::size_t>(capacity);
    const std::size_t got = file.ReadAt(offset, buffer.data(), want);
    digests.Update(buffer.data(), got);
    offset += static_cast<std::int64_t>(got);
    if (got < want) break;  // the end of the file
  }
  return {digests.Whole(), digests.Head(), digests.Length()};
}

std::int64_t SizeOrZero(Env& env, const std::string& path) {
  return std::max<std::int64_t>(env.SizeOf(path), 0);
}

}  // namespace tarvel
