// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/io/digest_memo.h"

namespace tarvel {

DigestMemo::Key DigestMemo::KeyOf(const FileStamp& stamp, std::int64_t start, std::int64_t limit) {
  return {stamp.identity.device,
          stamp.identity.inode,
          stamp.size,
          stamp.modifiedNs,
          stamp.changedNs,
          start,
          limit};
}

std::optional<DigestMemo::Digests> DigestMemo::Find(const FileStamp& stamp, std::int64_t start,
                                                    std::int64_t limit) const {
  const std::lock_guard lock(mutex_);
  const auto it = digests_.find(KeyOf(stamp, start, limit));
  if (it == digests_.end()) return std::nullopt;
  return it->second;
}

void DigestMemo::Remember(const FileStamp& stamp, std::int64_t start, std::int64_t limit,
                          const Digests& digests, std::int64_t passStartNs) {
  if (stamp.changedNs > passStartNs - kSettledNs || stamp.modifiedNs > passStartNs - kSettledNs) {
    return;
  }
  Keep(stamp, start, limit, digests);
}

void DigestMemo::Keep(const FileStamp& stamp, std::int64_t start, std::int64_t limit,
                      const Digests& digests) {
  const std::lock_guard lock(mutex_);
  digests_[KeyOf(stamp, start, limit)] = digests;
}

void DigestMemo::Clear() {
  const std::lock_guard lock(mutex_);
  digests_.clear();
}

}  // namespace tarvel
