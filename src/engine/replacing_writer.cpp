#include "engine/replacing_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

namespace tarvel {
namespace {

constexpr int kNameAttempts = 8;
constexpr std::int64_t kHeadBytes = 16384;  // the portion of a file md5head covers

// A hidden name that no other writer is likely to pick; CreateNew refuses an
// existing one, and a few fresh names are tried before giving up.
std::string TemporaryName() {
  static std::mt19937_64 rng([] {
    std::random_device rd;
    return (static_cast<std::uint64_t>(rd()) << 32) ^ rd() ^
           static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }());
  char text[40];
  std::snprintf(text, sizeof text, ".tarvel-%016llx.tmp", static_cast<unsigned long long>(rng()));
  return text;
}

}  // namespace

ReplacingWriter::ReplacingWriter(Env& env, const std::string& targetPath)
    : env_(env), target_(targetPath) {
  md5init(whole_);
  md5init(head_);
  const std::string folder = FolderOf(target_);
  for (int attempt = 0; attempt < kNameAttempts && !file_; ++attempt) {
    temp_ = folder.empty() ? TemporaryName() : JoinPath(folder, TemporaryName());
    try {
      file_ = env_.CreateNew(temp_);
    } catch (const FileError&) {
      file_.reset();
    }
  }
  if (!file_) throw FileError(CannotCreateText(target_));
}

ReplacingWriter::~ReplacingWriter() {
  if (!committed_) Discard();
}

void ReplacingWriter::Discard() noexcept {
  file_.reset();
  try {
    (void)env_.Remove(temp_);
  } catch (...) {
    // Nothing more can be done about a temporary file that stays behind;
    // it is hidden and belongs to no set.
  }
}

void ReplacingWriter::WriteAt(std::int64_t offset, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  try {
    file_->WriteAt(offset, bytes.data(), bytes.size());
  } catch (const FileError&) {
    throw FileError(CannotWriteText(target_));
  }
  if (offset != written_) inOrder_ = false;
  if (!inOrder_) return;
  md5update(whole_, bytes.data(), bytes.size());
  if (written_ < kHeadBytes) {
    const auto take = static_cast<std::size_t>(
        std::min<std::int64_t>(kHeadBytes - written_, static_cast<std::int64_t>(bytes.size())));
    md5update(head_, bytes.data(), take);
  }
  written_ += static_cast<std::int64_t>(bytes.size());
}

bool ReplacingWriter::Holds(std::int64_t size, const md5digest& whole,
                            const md5digest& head) const {
  if (!inOrder_ || written_ != size) return false;
  md5state wholeCopy = whole_;
  md5state headCopy = head_;
  md5digest wholeDigest;
  md5digest headDigest;
  md5final(wholeCopy, wholeDigest);
  md5final(headCopy, headDigest);
  return md5equal(wholeDigest, whole) && md5equal(headDigest, head);
}

void ReplacingWriter::Commit() {
  try {
    file_->Sync();
  } catch (const FileError&) {
    Discard();
    committed_ = true;
    throw FileError(CannotWriteText(target_));
  }
  file_.reset();
  // A link being replaced lends the new file nothing: what it leads to may
  // lie anywhere and belong to anyone.
  env_.AdoptAttributes(temp_, env_.IsSymbolicLink(target_) ? std::string() : target_);
  if (!env_.Rename(temp_, target_, /*replace=*/true)) {
    Discard();
    committed_ = true;
    throw FileError(CannotCreateText(target_));
  }
  committed_ = true;
}

}  // namespace tarvel
