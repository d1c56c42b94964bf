// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a volume set: the main volume and the parity volumes.
//
// Volumes are written in one sweep that keeps every volume open: headers and
// file lists first, then the parity data appended pass by pass, then each
// volume's control digest, computed while its bytes were written (the same
// bytes md5from32 would read back).  A create that did not read the files
// before (Analysis::digestsPending) takes their digests in the parity pass
// and writes the headers and lists behind it.  Each volume is written under
// a hidden temporary name and renamed into place when all of them are
// complete.  Sources are read straight into the rows of the parity pass, one
// large sequential read per file and round (see chunk_pass.h), and the
// volumes' write-back starts as they are written.
#include "engine/set/set_writer.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "checksum/hash_jobs.h"
#include "engine/format/format.h"
#include "engine/format/volume_names.h"
#include "engine/io/file_hash_pass.h"
#include "engine/io/replacing_writer.h"
#include "engine/io/stream_digests.h"
#include "engine/io/worker_pool.h"
#include "engine/io/write_back.h"
#include "engine/report.h"
#include "engine/set/action.h"
#include "engine/set/analysis.h"
#include "engine/set/chunk_pass.h"
#include "engine/set/create_rules.h"
#include "parity/rs.h"
#include "platform/language.h"

namespace tarvel {
namespace {

// One volume being written, under a temporary name until every volume is
// complete.
struct VolumeOut {
  std::string name;
  std::unique_ptr<ReplacingWriter> file;
};

// Writing a set: the refusals, the set-wide values, the volumes' headers
// and lists, the parity pass, the proof that the sources are still what was
// listed, the control digests, and the commit.  It works on the action's
// model and parity arithmetic.
//
// After a full analysis the list is known before anything is written: each
// volume starts with its header and list, and its control digest is taken
// from the bytes as they are written.  After an analysis in one pass the
// digests come out of the parity pass itself (the lists at end): the parity
// goes behind the space the header and list will take, these are written
// when the pass has ended, and the parity volumes are read back for their
// control digests.  Either way the volumes are the same bytes.
class SetWriter {
 public:
  SetWriter(Action& action, const Analysis& analysis, int parityCount)
      : action_(action),
        m_(action.model),
        analysis_(analysis),
        parityCount_(parityCount),
        listsAtEnd_(analysis.digestsPending) {}

  // A volume replaces any file of its name; that must never be one of the
  // files being protected, whose data would be lost.
  [[nodiscard]] bool Refuses(const std::string& baseName) {
    const int files = m_.ParityFileCount;
    if (files == 0) {
      action_.ui.Message(kNoFileInParityText);
      return true;
    }
    if (files > kMaxParityFiles || parityCount_ < 1 || parityCount_ > kMaxParityVolumes) {
      action_.ui.Message(
          TrFill("A set can have at most %s files in parity and 1 to %s parity volumes.",
                 {std::to_string(kMaxParityFiles), std::to_string(kMaxParityVolumes)}));
      return true;
    }
    std::vector<std::string> paths;
    for (int i = 0; i < m_.FileCount; ++i) paths.push_back(m_.FileTable[i].path);
    if (const std::string clash =
            VolumeReplacingASetFile(action_.env, paths, baseName, parityCount_);
        !clash.empty()) {
      action_.ui.Message(
          TrFill("The volume %s would replace a file of the set. Choose another base name.",
                 {PrintableText(clash)}));
      return true;
    }
    return false;
  }

  // The layout; the set digest too when the digests are known.
  void ComputeSetValues() {
    // Streams 0..p: the volumes' bytes from offset 32 on (their control
    // digests, as they are written); p+1 on: the sources as the parity pass
    // reads them.
    digests_.emplace(static_cast<std::size_t>(parityCount_ + 1 + m_.ParityFileCount));
    m_.FileListSize = 0;
    for (int i = 0; i < m_.FileCount; ++i) m_.FileListSize += m_.FileTable[i].entrysize;
    m_.FileListOffset = kHeaderSize;
    m_.DataOffset = m_.FileListOffset + m_.FileListSize;
    m_.DataSize = m_.BiggestFileSize;
    if (!listsAtEnd_) ComputeSetHash();
  }

  // Every volume under a temporary name; unless the lists come at the end,
  // with its header (the control digest a placeholder) and the file list.
  // Only the names in `mayReplace` are replaced; any other is claimed only
  // while it is free.
  void StartVolumes(const std::string& baseName, const std::vector<std::string>& mayReplace) {
    const std::vector<std::uint8_t> list =
        listsAtEnd_ ? std::vector<std::uint8_t>() : EncodeFileList(m_);
    volumes_.resize(static_cast<std::size_t>(parityCount_) + 1);
    for (int n = 0; n <= parityCount_; ++n) {
      action_.ShowProgress(VolumeStep(ProgressStep::kWritingHeaders, n, ""));
      VolumeOut& vol = volumes_[n];
      vol.name = VolumeFileName(baseName, n);
      vol.file = std::make_unique<ReplacingWriter>(action_.env, vol.name, /*keepDigests=*/false);
      // The names are compared in the volumes' folder, however it is spelled.
      vol.file->MayReplace(std::any_of(
          mayReplace.begin(), mayReplace.end(),
          [&vol](const std::string& agreed) { return BareName(agreed) == BareName(vol.name); }));
      if (listsAtEnd_) continue;
      const std::vector<std::uint8_t> bytes = WriteHeaderAndList(n, list);
      digests_->Add(static_cast<std::size_t>(n), bytes.data() + kOffSetHash,
                    bytes.size() - kOffSetHash);
      digests_->Run();
    }
  }

  // With the lists at the end, the files listed by their digests only (not
  // read by the parity pass) are read first, each the very file sized.
  void DigestListedOnly() {
    if (!listsAtEnd_) return;
    std::vector<int> slots;
    std::vector<FileHashJob> jobs;
    for (int i = 0; i < m_.FileCount; ++i) {
      if (m_.FileTable[i].InParity()) continue;
      slots.push_back(i);
      jobs.push_back({m_.FileTable[i].path, 0, -1, /*mustOpen=*/true});
    }
    if (jobs.empty()) return;
    FileHashPass pass(action_.env, std::move(jobs), Workers());
    pass.Run([this] { action_.KeepResponsive(); });
    for (std::size_t k = 0; k < slots.size(); ++k) {
      pass.ThrowError(k);
      fileentry& e = m_.FileTable[slots[k]];
      const FileHashResult& r = pass.Result(k);
      if (r.hashed != e.filesize || r.ending != r.opening ||
          r.opening != analysis_.stamps[static_cast<std::size_t>(slots[k])]) {
        throw FileError(FileChangedText(e.path));
      }
      e.md5whole = r.whole;
      e.md5head = r.head;
    }
  }

  // The sources, each the very file that was listed, unchanged since.
  void OpenSources() {
    for (int i = 0; i < m_.FileCount; ++i) {
      if (!m_.FileTable[i].InParity()) continue;
      // A file the analysis did not stamp can be no listed file.
      listed_.push_back(static_cast<std::size_t>(i) < analysis_.stamps.size() ? analysis_.stamps[i]
                                                                              : FileStamp{});
    }
    sources_.resize(static_cast<std::size_t>(m_.ParityFileCount));
    for (int k = 0; k < m_.ParityFileCount; ++k) {
      sources_[k] = action_.env.OpenRead(m_.ParityFileTable[k].path);
      if (sources_[k]->Stamp() != ListedStamp(k)) Changed(k);
    }
  }

  // Parity data, in passes over one chunk of every file.  The digests of
  // the sources are taken from the bytes read, beside the volumes'.
  void WriteParity() {
    const int files = m_.ParityFileCount;
    ParityMatrix& parity = action_.parity;
    ProgressRecord record;
    record.step = ProgressStep::kWritingParity;
    record.percent = 0;
    record.stepTotal = m_.TotalSize;
    action_.ShowProgress(record);
    ChunkPass pass;
    pass.end = m_.BiggestFileSize;
    // Every round, so the windows stay painted however large the files
    // are, and a stop is heard.
    pass.begin = [&](std::int64_t pos) {
      record.percent = static_cast<int>(pos * 100 / m_.BiggestFileSize);
      action_.ShowProgress(record);
    };
    // Every row is read in full (data, then zeros past the file's end).
    pass.inputs = static_cast<std::size_t>(files);
    pass.read = [&](std::size_t k, std::int64_t pos, std::span<std::uint8_t> into) {
      const fileentry& e = m_.ParityFileTable[k];
      const auto want = static_cast<std::size_t>(
          std::clamp<std::int64_t>(e.filesize - pos, 0, static_cast<std::int64_t>(into.size())));
      if (want > 0 && sources_[k]->ReadAt(pos, into.data(), want) != want) {
        Changed(static_cast<int>(k));
      }
      std::fill(into.begin() + static_cast<std::ptrdiff_t>(want), into.end(), std::uint8_t{0});
    };
    // Parity volume v from file position f: f^(v-1), as ComputeParity.
    pass.coefficient = [&](std::size_t row, std::size_t k) {
      return parity.Coefficient(static_cast<int>(row), static_cast<int>(k));
    };
    pass.mulTable = parity.Field().MulTable;
    pass.kernel = parity.Kernel();
    // The sources' digests from the bytes read; with the lists at the end,
    // a volume's digest waits for its list.
    pass.computed = [&](std::int64_t pos, std::size_t length,
                        std::span<const std::uint8_t* const> in,
                        std::span<const std::uint8_t* const> out) {
      for (int k = 0; k < files; ++k) {
        const auto data = static_cast<std::size_t>(std::clamp<std::int64_t>(
            m_.ParityFileTable[k].filesize - pos, 0, static_cast<std::int64_t>(length)));
        record.stepDone += static_cast<std::int64_t>(data);
        digests_->Add(SourceStream(k), in[static_cast<std::size_t>(k)], data);
      }
      for (int v = 1; v <= parityCount_ && !listsAtEnd_; ++v) {
        digests_->Add(static_cast<std::size_t>(v), out[static_cast<std::size_t>(v - 1)], length);
      }
    };
    pass.outputs = static_cast<std::size_t>(parityCount_);
    pass.write = [&](std::size_t row, std::int64_t pos, std::span<const std::uint8_t> bytes) {
      const int v = static_cast<int>(row) + 1;
      volumes_[v].file->WriteAt(m_.DataOffset + pos, bytes);
      writeBack_.StartAfter(*volumes_[v].file, m_.DataOffset + pos,
                            static_cast<std::int64_t>(bytes.size()));
    };
    pass.digests = &*digests_;
    RunChunkPass(action_, pass);
    action_.ShowProgress(record);  // every byte read
  }

  // The parity must be that of the files as listed: each source read has
  // the listed size and digests, and each file is still the one listed, not
  // changed or replaced since (an editor's save by rename, a rewrite).  With
  // the lists at the end, the digests read become the list's.
  void ProveSources() {
    if (listsAtEnd_) ListSourceDigests();
    for (int k = 0; k < m_.ParityFileCount; ++k) {
      const fileentry& e = m_.ParityFileTable[k];
      const std::size_t s = SourceStream(k);
      if (digests_->Length(s) != e.filesize || !md5equal(digests_->Whole(s), e.md5whole) ||
          !md5equal(digests_->Head(s), e.md5head) || sources_[k]->Stamp() != ListedStamp(k) ||
          action_.env.Identity(e.path, /*followLink=*/true) != ListedStamp(k).identity) {
        Changed(k);
      }
    }
    sources_.clear();
  }

  // With the lists at the end: every volume's header and list, then the
  // control digests, the main volume's from memory, the parity volumes'
  // from their list and the parity read back from the disk, all at once.
  void WriteLists() {
    // The volumes go to the disk while their digests are taken; Finish
    // then waits for what is left.
    for (int n = 1; n <= parityCount_; ++n) writeBack_.Start(*volumes_[n].file);
    if (!listsAtEnd_) {
      for (int n = 0; n <= parityCount_; ++n) {
        controls_.push_back(digests_->Whole(static_cast<std::size_t>(n)));
      }
      return;
    }
    const std::vector<std::uint8_t> list = EncodeFileList(m_);
    std::vector<std::vector<std::uint8_t>> heads;  // header and list, by volume
    for (int n = 0; n <= parityCount_; ++n) heads.push_back(WriteHeaderAndList(n, list));
    controls_.resize(heads.size());
    controls_[0] = md5buffer(heads[0].data() + kOffSetHash, heads[0].size() - kOffSetHash);

    std::vector<HashJob> jobs(static_cast<std::size_t>(parityCount_));
    for (int v = 1; v <= parityCount_; ++v) {
      jobs[v - 1].read = [this, v, &heads](std::uint64_t offset, std::uint8_t* buffer,
                                           std::size_t n) {
        return ReadBack(v, heads[v], offset, buffer, n);
      };
    }
    const std::vector<HashJobResult> done =
        HashJobs(jobs, PoolHashOptions(Workers(), [this] { action_.KeepResponsive(); }));
    const auto length = static_cast<std::uint64_t>(m_.DataOffset - kOffSetHash + m_.DataSize);
    for (int v = 1; v <= parityCount_; ++v) {
      const HashJobResult& r = done[static_cast<std::size_t>(v - 1)];
      if (r.error) std::rethrow_exception(r.error);
      // A volume that is not as long as written cannot be vouched for.
      if (r.status != HashJobStatus::kDone || r.size != length) {
        throw FileError(CannotReadText(volumes_[v].name));
      }
      controls_[v] = r.whole;
    }
  }

  // Control digests, then every volume takes its name, all or none (and
  // the old set's volumes beyond the new one's go with them).
  void Finish(const std::vector<RemovedWithCommit>& removals,
              std::vector<std::unique_ptr<ReplacingWriter>>* deferred) {
    for (int n = 0; n <= parityCount_; ++n) {
      VolumeOut& vol = volumes_[n];
      action_.ShowProgress(VolumeStep(ProgressStep::kWritingChecksums, n, vol.name));
      vol.file->WriteAt(kOffControl, controls_[static_cast<std::size_t>(n)]);
    }
    // Every volume on disk before any takes its name; a stop is heard
    // between them, and the windows' events run there, so a Cancel pressed
    // while a volume goes to the disk is seen when it is done.
    writeBack_.Finish();
    for (VolumeOut& vol : volumes_) {
      action_.KeepResponsive();
      vol.file->Flush();
    }
    // A stop asked while the last one went to the disk is heard, too.
    action_.StopPoint();
    if (deferred) {
      for (VolumeOut& vol : volumes_) deferred->push_back(std::move(vol.file));
      return;
    }
    std::vector<ReplacingWriter*> writers;
    for (VolumeOut& vol : volumes_) writers.push_back(vol.file.get());
    CommitTogether(action_.env, writers, removals);
  }

 private:
  std::size_t SourceStream(int k) const { return static_cast<std::size_t>(parityCount_ + 1 + k); }

  // The action's workers, as many as the parity pass can use.
  WorkerPool& Workers() {
    return action_.Pool(static_cast<std::size_t>(std::max(m_.ParityFileCount, parityCount_)));
  }

  void ComputeSetHash() {
    std::vector<std::uint8_t> digests;
    for (int k = 0; k < m_.ParityFileCount; ++k) {
      const md5digest& d = m_.ParityFileTable[k].md5whole;
      digests.insert(digests.end(), d.begin(), d.end());
    }
    m_.SetHash = md5buffer(digests);
  }

  // The digests the parity pass took of each source, into both tables, and
  // the set digest from them.
  void ListSourceDigests() {
    int k = 0;
    for (int i = 0; i < m_.FileCount; ++i) {
      fileentry& e = m_.FileTable[i];
      if (!e.InParity()) continue;
      const std::size_t s = SourceStream(k);
      e.md5whole = m_.ParityFileTable[k].md5whole = digests_->Whole(s);
      e.md5head = m_.ParityFileTable[k].md5head = digests_->Head(s);
      ++k;
    }
    ComputeSetHash();
  }

  // Writes volume n's header (the control digest a placeholder until the
  // digest of the finished volume is known) and file list at its start, and
  // returns those bytes.
  std::vector<std::uint8_t> WriteHeaderAndList(int n, const std::vector<std::uint8_t>& list) {
    VolumeHeader h;
    h.control = m_.SetHash;
    h.setHash = m_.SetHash;
    h.volumeNumber = static_cast<std::uint64_t>(n);
    h.fileCount = static_cast<std::uint64_t>(m_.FileCount);
    h.fileListOffset = static_cast<std::uint64_t>(m_.FileListOffset);
    h.fileListSize = static_cast<std::uint64_t>(m_.FileListSize);
    h.dataOffset = static_cast<std::uint64_t>(m_.DataOffset);
    h.dataSize = n == 0 ? 0 : static_cast<std::uint64_t>(m_.BiggestFileSize);
    const std::array<std::uint8_t, kHeaderSize> header = EncodeHeader(h);
    std::vector<std::uint8_t> bytes(header.size() + list.size());
    std::copy(header.begin(), header.end(), bytes.begin());
    std::copy(list.begin(), list.end(), bytes.begin() + kHeaderSize);
    volumes_[n].file->WriteAt(0, bytes);
    return bytes;
  }

  // Bytes of parity volume v from offset 32 + `offset` on, `head` being its
  // header and list: those from memory, the parity from the disk.  Fewer
  // than `n` only at the end of the parity written.
  std::size_t ReadBack(int v, const std::vector<std::uint8_t>& head, std::uint64_t offset,
                       std::uint8_t* buffer, std::size_t n) {
    std::size_t done = 0;
    const auto headSize = static_cast<std::int64_t>(head.size());
    const std::int64_t end = headSize + m_.DataSize;
    while (done < n) {
      const std::int64_t at = kOffSetHash + static_cast<std::int64_t>(offset + done);
      if (at >= end) break;
      const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(n - done, end - at));
      if (at < headSize) {
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::int64_t>(want, headSize - at));
        std::copy_n(head.data() + at, take, buffer + done);
        done += take;
        continue;
      }
      const std::size_t got = volumes_[v].file->ReadAt(at, buffer + done, want);
      done += got;
      if (got < want) break;  // shorter than written: the length shows it
    }
    return done;
  }

  // A step over the volumes, at volume n.
  ProgressRecord VolumeStep(ProgressStep step, int n, const std::string& name) const {
    ProgressRecord r;
    r.step = step;
    r.item = n;
    r.items = parityCount_ + 1;
    r.name = name;
    r.percent = n * 100 / parityCount_;
    return r;
  }

  // The stamp the analysis took of ParityFileTable slot k.
  const FileStamp& ListedStamp(int k) const { return listed_[static_cast<std::size_t>(k)]; }

  [[noreturn]] void Changed(int k) const {
    throw FileError(FileChangedText(m_.ParityFileTable[k].path));
  }

  Action& action_;
  SetModel& m_;
  const Analysis& analysis_;
  int parityCount_;
  bool listsAtEnd_;
  std::optional<StreamDigests> digests_;
  std::vector<VolumeOut> volumes_;
  WriteBack writeBack_;              // of the volumes; ends before they go
  std::vector<md5digest> controls_;  // by volume
  std::vector<std::unique_ptr<File>> sources_;
  std::vector<FileStamp> listed_;  // by ParityFileTable slot
};

}  // namespace

bool WriteVolumeSet(Action& action, const Analysis& analysis, const std::string& baseName,
                    int parityCount, const std::vector<std::string>& mayReplace,
                    const std::vector<RemovedWithCommit>& removals,
                    std::vector<std::unique_ptr<ReplacingWriter>>* deferred) {
  SetModel& m = action.model;
  m.CompactParityFiles();
  SetWriter writer(action, analysis, parityCount);
  if (writer.Refuses(baseName)) return false;
  // The files being protected stay whatever their names look like.
  std::vector<std::string> listed;
  for (int i = 0; i < m.FileCount; ++i) listed.push_back(BareName(m.FileTable[i].path));
  RemoveAbandonedTemporaryFiles(action.env, FolderOf(baseName), listed);
  action.parity.SetupParity();

  writer.ComputeSetValues();
  writer.StartVolumes(baseName, mayReplace);
  writer.DigestListedOnly();
  writer.OpenSources();
  writer.WriteParity();
  writer.ProveSources();
  writer.WriteLists();
  try {
    writer.Finish(removals, deferred);
  } catch (const NameTakenMeanwhile& taken) {
    // Another create of the same name, most likely: its set stays whole,
    // and this one's temporary files go with the writer.
    action.ui.HideProgress();
    action.ui.Message(CreatedMeanwhileText(taken.Name()));
    return false;
  }
  action.ui.HideProgress();
  return true;
}

}  // namespace tarvel
