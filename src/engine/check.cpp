// Checking a volume set: finding its files in the set folder (by name, and
// by content under another name), verifying their digests, recognising the
// set's volumes by content, and the report.  Every name is a bare name of
// the set folder.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "engine/engine.h"
#include "engine/format.h"
#include "engine/replacing_writer.h"

namespace tarvel {
namespace {

// Bytes of a file that can be recognised as a volume: its header up to and
// including the volume number.
constexpr std::size_t kRecognisedBytes = kOffVolumeNumber + 1;
constexpr int kLastReportedVolume = 250;
constexpr std::size_t kCopyBlock = 1 << 20;
const std::string kBlankLine = " ";

}  // namespace

void Engine::SearchFiles() {
  SetModel& m = model_;
  const auto presencePass = [&] {
    for (int i = 0; i < m.FileCount; ++i) {
      fileentry& e = m.FileTable[i];
      e.present = env_.IsPlainFile(setFolder_, e.name) ? 1 : 0;
    }
  };

  presencePass();
  ui_.SetProgressText("Searching files...");
  ui_.ShowProgress();
  m.RenameAnswer = 0;
  ui_.ResetRenamePrompt();

  // Content pass: a missing file may be in the folder under another name.
  for (int i = 0; i < m.FileCount; ++i) {
    ui_.SetProgressPercent(i * 100 / m.FileCount);
    ui_.ProcessEvents();
    if (m.FileTable[i].present) continue;
    // The listing runs to its end: every further match gets its own offer.
    for (const std::string& candidate : env_.ListPlainFiles(setFolder_)) {
      const fileentry& e = m.FileTable[i];
      if (candidate == e.name) continue;
      const std::string path = InSetFolder(candidate);
      if (!md5equal(md5first16k(path), e.md5head)) continue;
      if (!md5equal(md5file(path), e.md5whole)) continue;
      actions_.push_back({FileActionKind::kFound, e.name, candidate});
      OfferFoundFile(candidate, e.name);
    }
  }

  presencePass();

  // Verification.  A file that is not there cannot be intact, whatever a
  // hidden file of its name holds, so only present files are read.
  for (int i = 0; i < m.FileCount; ++i) {
    fileentry& e = m.FileTable[i];
    ui_.SetProgressText("Checking " + e.name);
    ui_.SetProgressPercent(i * 100 / m.FileCount);
    ui_.ProcessEvents();
    e.crcok = e.present && md5equal(md5file(InSetFolder(e.name)), e.md5whole) ? 1 : 0;
  }
  ui_.HideProgress();
}

void Engine::OfferFoundFile(const std::string& found, const std::string& missing) {
  SetModel& m = model_;
  switch (m.RenameAnswer) {
    case 1:
      rnfile(found, missing);
      return;
    case 2:
      cpfile(found, missing);  // a failure ends the whole action
      return;
    case 3:
      return;
    default:
      break;
  }
  // The prompt stays up until a button has done its work: a copy that fails
  // shows the error and asks again.
  for (;;) {
    const RenameReply reply = ui_.AskRename(found, missing);
    switch (reply.button) {
      case RenameButton::kRename:
        if (reply.dontAskAgain) m.RenameAnswer = 1;
        rnfile(found, missing);
        return;
      case RenameButton::kCopy:
        try {
          cpfile(found, missing);
        } catch (const FileError& error) {
          ui_.Message(ErrorBoxText(error.what()));
          continue;
        }
        if (reply.dontAskAgain) m.RenameAnswer = 2;
        return;
      case RenameButton::kCancel:
        if (reply.dontAskAgain) m.RenameAnswer = 3;
        return;
      case RenameButton::kClosed:
        return;
    }
  }
}

void Engine::rnfile(const std::string& found, const std::string& missing) {
  if (!env_.Rename(InSetFolder(found), InSetFolder(missing), /*replace=*/false)) {
    actions_.push_back({FileActionKind::kRenameFailed, missing, found});
    ui_.Message("Rename failed!");
    return;
  }
  actions_.push_back({FileActionKind::kRenamed, missing, found});
}

void Engine::cpfile(const std::string& found, const std::string& missing) {
  try {
    std::unique_ptr<File> source = env_.OpenRead(InSetFolder(found));
    ReplacingWriter target(env_, InSetFolder(missing));
    std::vector<std::uint8_t> buffer(kCopyBlock);
    std::int64_t offset = 0;
    for (;;) {
      const std::size_t got = source->ReadAt(offset, buffer.data(), buffer.size());
      if (got == 0) break;
      target.WriteAt(offset, std::span(buffer.data(), got));
      offset += static_cast<std::int64_t>(got);
    }
    target.Commit();
  } catch (const FileError&) {
    actions_.push_back({FileActionKind::kCopyFailed, missing, found});
    throw;
  }
  actions_.push_back({FileActionKind::kCopied, missing, found});
}

void Engine::FindVolumes() {
  SetModel& m = model_;
  for (fileentry& slot : m.VolumeTable) slot = fileentry{};

  // A parity volume carries the parity of the largest file in parity behind
  // its list.  One that ends sooner is not usable, whatever its digest says:
  // restoring from it would rebuild files from bytes that are not there.
  std::int64_t parityBytes = 0;
  for (int i = 0; i < m.FileCount; ++i) {
    if (m.FileTable[i].InParity()) parityBytes = std::max(parityBytes, m.FileTable[i].filesize);
  }

  std::array<std::int64_t, kTableSlots> volumeSizes{};
  for (const std::string& candidate : env_.ListPlainFiles(setFolder_)) {
    std::array<std::uint8_t, kRecognisedBytes> head{};
    std::int64_t size = 0;
    try {
      std::unique_ptr<File> file = env_.OpenRead(InSetFolder(candidate));
      if (file->ReadAt(0, head.data(), head.size()) != head.size()) continue;
      size = file->Size();
    } catch (const FileError&) {
      continue;  // unreadable candidates are passed over
    }
    if (std::memcmp(head.data() + kOffSetHash, m.SetHash.data(), m.SetHash.size()) != 0) {
      continue;
    }
    fileentry& slot = m.VolumeTable[head[kOffVolumeNumber]];
    slot.name = candidate;
    slot.present = 1;
    volumeSizes[head[kOffVolumeNumber]] = size;
    std::memcpy(slot.md5whole.data(), head.data() + kOffControl, slot.md5whole.size());
  }

  ui_.ClearProgressPercent();
  ui_.ShowProgress();
  for (int v = 0; v <= kLastReportedVolume; ++v) {
    fileentry& slot = m.VolumeTable[v];
    if (!slot.present) continue;
    ui_.SetProgressText("Checking " + slot.name);
    ui_.ProcessEvents();
    const bool holdsParity = v == 0 || volumeSizes[v] - m.DataOffset >= parityBytes;
    slot.crcok = holdsParity && md5equal(md5from32(InSetFolder(slot.name)), slot.md5whole) ? 1 : 0;
  }
  ui_.HideProgress();
}

void Engine::BuildReport(std::vector<std::string>& lines) {
  SetModel& m = model_;
  m.BadFileCount = 0;
  m.UsableVolumeCount = 0;
  lines.clear();

  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    if (e.InParity()) {
      if (e.present && e.crcok) {
        lines.push_back(e.name + " OK");
        continue;
      }
      lines.push_back(kBlankLine);
      lines.push_back(e.name + (e.present ? " CRC Mismatch..." : " Missing..."));
      lines.push_back(kBlankLine);
      ++m.BadFileCount;
    } else if (!e.present) {
      lines.push_back(e.name + " (CRC only) Missing...");
    } else {
      lines.push_back(e.name + (e.crcok ? " (CRC only) OK" : " (CRC only) CRC Mismatch..."));
    }
  }
  lines.push_back(kBlankLine);
  lines.push_back(m.BadFileCount == 0 ? "All files OK."
                                      : std::to_string(m.BadFileCount) + " bad/missing files.");
  lines.push_back(kBlankLine);
  lines.push_back("Found parity volumes:");
  for (int v = 1; v <= kLastReportedVolume; ++v) {
    const fileentry& slot = m.VolumeTable[v];
    if (!slot.present) continue;
    if (slot.crcok) {
      lines.push_back(slot.name + " OK");
      ++m.UsableVolumeCount;
    } else {
      lines.push_back(slot.name + " CRC Mismatch...");
    }
  }
  lines.push_back(kBlankLine);
  lines.push_back(m.UsableVolumeCount == 0
                      ? "No usable parity volumes found"
                      : std::to_string(m.UsableVolumeCount) + " usable parity volumes found.");
}

}  // namespace tarvel
