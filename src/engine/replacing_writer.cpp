#include "engine/replacing_writer.h"

#include <chrono>
#include <cstdio>
#include <random>

namespace tarvel {
namespace {

constexpr int kNameAttempts = 8;

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
    : env_(env), target_(targetPath), destination_(env.ResolveForWriting(targetPath)) {
  const std::string folder = FolderOf(destination_);
  int reason = 0;
  for (int attempt = 0; attempt < kNameAttempts && !file_; ++attempt) {
    temp_ = folder.empty() ? TemporaryName() : JoinPath(folder, TemporaryName());
    try {
      file_ = env_.CreateNew(temp_);
    } catch (const FileError& error) {
      file_.reset();
      reason = error.OsError();
    }
  }
  if (!file_) throw FileError(CannotCreateText(target_), reason);
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
  } catch (const FileError& error) {
    throw FileError(CannotWriteText(target_), error.OsError());
  }
}

void ReplacingWriter::Commit() {
  try {
    file_->Sync();
  } catch (const FileError& error) {
    Discard();
    committed_ = true;
    throw FileError(CannotWriteText(target_), error.OsError());
  }
  file_.reset();
  env_.AdoptAttributes(temp_, destination_);
  if (!env_.Rename(temp_, destination_, /*replace=*/true)) {
    Discard();
    committed_ = true;
    throw FileError(CannotCreateText(target_));
  }
  committed_ = true;
}

}  // namespace tarvel
