// Creating a volume set: analysing the chosen files, then writing the main
// volume and the parity volumes.
//
// Volumes are written in one sweep that keeps every volume open: headers and
// file lists first, then the parity data appended pass by pass, then each
// volume's control digest, computed while its bytes were written (the same
// bytes md5from32 would read back).  A create that did not read the files
// before (AnalyseNamesAndSizes) takes their digests in the parity pass and
// writes the headers and lists behind it.  Each volume is written under a hidden
// temporary name and renamed into place when all of them are complete.
// Sources are read straight into the parity rows, one large sequential read
// per file and pass.

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "checksum/hash_jobs.h"
#include "engine/set/action.h"
#include "engine/set/create_rules.h"
#include "engine/engine.h"
#include "engine/io/file_digests.h"
#include "engine/io/file_hash_pass.h"
#include "engine/format/format.h"
#include "engine/io/replacing_writer.h"
#include "engine/io/run_in_order.h"
#include "engine/io/stream_digests.h"
#include "engine/io/worker_pool.h"

namespace tarvel {
namespace {

// A description or checksum file below this size is offered for the CRC list only.
constexpr std::int64_t kSmallFileLimit = 65535;
constexpr std::array<std::string_view, 6> kSmallFileExtensions = {".NFO", ".SFV", ".DIZ",
                                                                  ".TXT", ".CSV", ".MD5"};

constexpr char kNoFileInParityText[] =
    "No file is included in the parity data, so parity volumes would protect nothing. "
    "Include at least one file in parity.";

bool IsSmallFileExtension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot);
  for (char& c : ext) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return std::find(kSmallFileExtensions.begin(), kSmallFileExtensions.end(), ext) !=
         kSmallFileExtensions.end();
}

std::string UnlistableNameText(const std::string& path) {
  return "The file " + PrintableText(path) +
         " cannot be protected: its name holds a backslash or a control character, which a "
         "file list cannot hold. Rename the file first.";
}

// One volume being written, under a temporary name until every volume is
// complete.
struct VolumeOut {
  std::string name;
  std::unique_ptr<ReplacingWriter> file;
};

}  // namespace

bool Engine::BeginAnalysis(const std::vector<std::string>& paths) {
  SetModel& m = model_;
  m.ResetTables();
  m.TotalSize = 0;
  m.BiggestFileSize = 0;
  if (paths.size() < kFewestSetFiles || paths.size() > kMostSetFiles) {
    ui_.Message(FileCountRefusal());
    return false;
  }
  // A name a file list cannot hold would make a set that no check reads.
  for (const std::string& path : paths) {
    if (!IsListableName(BareName(path))) {
      ui_.Message(UnlistableNameText(path));
      return false;
    }
  }
  m.FileCount = static_cast<std::int32_t>(paths.size());
  listedStamps_.assign(paths.size(), FileStamp{});
  return true;
}

void Engine::EnterFile(std::size_t i, const std::string& path) {
  fileentry& e = model_.FileTable[i];
  e.status = 1;
  e.path = path;
  e.name = BareName(path);
  e.entrysize = EntrySizeFor(e.name);
  e.crcok = 1;
  e.present = 1;
}

void Engine::SizeFile(std::size_t i, std::int64_t size, const FileStamp& stamp, bool& result,
                      bool& anyInParity) {
  SetModel& m = model_;
  fileentry& e = m.FileTable[i];
  e.filesize = size;
  listedStamps_[i] = stamp;
  if (e.filesize == 0) {
    result = false;
    ui_.Message("Error reading " + e.path + ", or filesize is zero.");
    e.crcok = 0;
    e.present = 0;
  }
  if (IsSmallFileExtension(e.name) && e.filesize < kSmallFileLimit &&
      !ui_.AskInclude(e.name, e.filesize)) {
    e.status = 0;
  }
  if (e.InParity()) {
    anyInParity = true;
    m.TotalSize += e.filesize;
    if (e.filesize > m.BiggestFileSize) m.BiggestFileSize = e.filesize;
  }
}

bool Engine::EndAnalysis(bool result, bool anyInParity) {
  if (result && !anyInParity) {
    ui_.Message(kNoFileInParityText);
    result = false;
  }
  return result;
}

bool Engine::AnalyseFiles(const std::vector<std::string>& paths) {
  const ActionScope scope(*this);
  SetModel& m = model_;
  digestsPending_ = false;
  if (!BeginAnalysis(paths)) return false;
  bool result = true;
  bool anyInParity = false;

  ui_.ShowProgress();
  // One pass reads every file once for its size and both digests, all files
  // at once; the files are shown, asked about and counted in list order as
  // their reading ends, exactly as if they were read one after another.
  std::vector<FileHashJob> jobs(paths.size());
  std::vector<std::string> names;
  std::vector<std::int64_t> sizes;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    jobs[i] = {paths[i], 0, -1, /*mustOpen=*/true};
    names.push_back(BareName(paths[i]));
    sizes.push_back(SizeOrZero(env_, paths[i]));
  }
  const ItemProgress progress(ProgressStep::kAnalysing, names, sizes,
                              [&](int i) { return i * 100 / (m.FileCount - 1); });
  FileHashPass pass(env_, std::move(jobs), Pool(paths.size()));
  StepsInOrder steps(
      paths.size(),
      [&](std::size_t i) {
        EnterFile(i, paths[i]);
        Report(progress.At(i, 0));
      },
      [&](std::size_t i) { return pass.Over(i); },
      [&](std::size_t i) {
        pass.ThrowError(i);
        // The size listed is exactly what was digested; a file that grew,
        // shrank or was written to while it was read has no one content.
        const FileHashResult& r = pass.Result(i);
        if (r.hashed != r.opening.size || r.ending != r.opening) {
          throw FileError(FileChangedText(m.FileTable[i].path));
        }
        SizeFile(i, r.hashed, r.opening, result, anyInParity);
      },
      [&] {
        if (const auto i = steps.Current()) Report(progress.At(*i, pass.BytesRead(*i)));
      });
  pass.Run([&] { steps.Advance(); });
  steps.Complete();
  Report(progress.Done());
  for (int i = 0; i < m.FileCount; ++i) {
    m.FileTable[i].md5whole = pass.Result(i).whole;
    m.FileTable[i].md5head = pass.Result(i).head;
  }
  ui_.HideProgress();
  return EndAnalysis(result, anyInParity);
}

bool Engine::AnalyseNamesAndSizes(const std::vector<std::string>& paths) {
  const ActionScope scope(*this);
  digestsPending_ = true;
  if (!BeginAnalysis(paths)) return false;
  bool result = true;
  bool anyInParity = false;
  // Each file is opened for its stamp, as the analysis opens it, so that a
  // file that cannot be opened fails here with the same error.
  for (std::size_t i = 0; i < paths.size(); ++i) {
    StopPoint();
    EnterFile(i, paths[i]);
    const FileStamp stamp = env_.OpenRead(paths[i])->Stamp();
    SizeFile(i, stamp.size, stamp, result, anyInParity);
  }
  return EndAnalysis(result, anyInParity);
}

// Writing a set: the refusals, the set-wide values, the volumes' headers
// and lists, the parity pass, the proof that the sources are still what was
// listed, the control digests, and the commit.  Used by WriteVolumeSet only;
// it works on the engine's model and parity arithmetic.
//
// After AnalyseFiles the list is known before anything is written: each
// volume starts with its header and list, and its control digest is taken
// from the bytes as they are written.  After AnalyseNamesAndSizes the
// digests come out of the parity pass itself (the lists at end): the parity
// goes behind the space the header and list will take, these are written
// when the pass has ended, and the parity volumes are read back for their
// control digests.  Either way the volumes are the same bytes.
class Engine::SetWriter {
 public:
  SetWriter(Engine& engine, int parityCount)
      : e_(engine),
        m_(engine.model_),
        parityCount_(parityCount),
        listsAtEnd_(engine.digestsPending_) {}

  // A volume replaces any file of its name; that must never be one of the
  // files being protected, whose data would be lost.
  [[nodiscard]] bool Refuses(const std::string& baseName) {
    const int files = m_.ParityFileCount;
    if (files == 0) {
      e_.ui_.Message(kNoFileInParityText);
      return true;
    }
    if (files > kMaxParityFiles || parityCount_ < 1 || parityCount_ > kMaxParityVolumes) {
      e_.ui_.Message("A set can have at most " + std::to_string(kMaxParityFiles) +
                     " files in parity and 1 to " + std::to_string(kMaxParityVolumes) +
                     " parity volumes.");
      return true;
    }
    std::vector<std::string> paths;
    for (int i = 0; i < m_.FileCount; ++i) paths.push_back(m_.FileTable[i].path);
    if (const std::string clash = VolumeReplacingASetFile(e_.env_, paths, baseName, parityCount_);
        !clash.empty()) {
      e_.ui_.Message("The volume " + PrintableText(clash) +
                     " would replace a file of the set. Choose another base name.");
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
    e_.ui_.ShowProgress();
    for (int n = 0; n <= parityCount_; ++n) {
      e_.Report(VolumeStep(ProgressStep::kWritingHeaders, n, ""));
      VolumeOut& vol = volumes_[n];
      vol.name = VolumeFileName(baseName, n);
      vol.file = std::make_unique<ReplacingWriter>(e_.env_, vol.name, /*keepDigests=*/false);
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
    FileHashPass pass(e_.env_, std::move(jobs), Workers());
    pass.Run([this] { e_.KeepResponsive(); });
    for (std::size_t k = 0; k < slots.size(); ++k) {
      pass.ThrowError(k);
      fileentry& e = m_.FileTable[slots[k]];
      const FileHashResult& r = pass.Result(k);
      if (r.hashed != e.filesize || r.ending != r.opening ||
          r.opening != e_.listedStamps_[static_cast<std::size_t>(slots[k])]) {
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
      listed_.push_back(static_cast<std::size_t>(i) < e_.listedStamps_.size() ? e_.listedStamps_[i]
                                                                              : FileStamp{});
    }
    sources_.resize(static_cast<std::size_t>(m_.ParityFileCount));
    for (int k = 0; k < m_.ParityFileCount; ++k) {
      sources_[k] = e_.env_.OpenRead(m_.ParityFileTable[k].path);
      if (sources_[k]->Stamp() != ListedStamp(k)) Changed(k);
    }
  }

  // Parity data, in passes over one chunk of every file.  The digests of
  // the sources are taken from the bytes read, beside the volumes'.
  void WriteParity() {
    const int files = m_.ParityFileCount;
    ProgressRecord record;
    record.step = ProgressStep::kWritingParity;
    record.percent = 0;
    record.stepTotal = m_.TotalSize;
    e_.Report(record);
    WorkerPool& workers = Workers();
    const auto events = [this] { e_.PaceEvents(); };
    for (std::int64_t pos = 0; pos < m_.BiggestFileSize; pos += kChunkSize) {
      // Every chunk, so the windows stay painted however large the files
      // are, and a stop is heard.
      record.percent = static_cast<int>(pos * 100 / m_.BiggestFileSize);
      e_.Report(record);
      // Every row is written in full (data, then zeros past the file's end),
      // so the blocks need no clearing between passes.  The rows are read on
      // all threads; an error is that of the first file in order that failed.
      workers.ForEach(
          static_cast<std::size_t>(files),
          [&](std::size_t k) {
            const fileentry& e = m_.ParityFileTable[k];
            const int r = static_cast<int>(k) + 1;
            const std::int64_t want = std::clamp<std::int64_t>(e.filesize - pos, 0, kChunkSize);
            if (want > 0 &&
                sources_[k]->ReadAt(pos, e_.parity_.DataRow(r), static_cast<std::size_t>(want)) !=
                    static_cast<std::size_t>(want)) {
              Changed(static_cast<int>(k));
            }
            e_.parity_.ClearDataRowFrom(r, static_cast<int>(want));
            digests_->Add(SourceStream(static_cast<int>(k)), e_.parity_.DataRow(r),
                          static_cast<std::size_t>(want));
          },
          events);
      for (int k = 0; k < files; ++k) {
        record.stepDone +=
            std::clamp<std::int64_t>(m_.ParityFileTable[k].filesize - pos, 0, kChunkSize);
      }
      e_.parity_.ComputeParity(files, parityCount_);
      const std::size_t length =
          static_cast<std::size_t>(std::min<std::int64_t>(kChunkSize, m_.BiggestFileSize - pos));
      // The parity rows go to the volumes while all digests are taken, the
      // digests split among the threads (tasks 0 .. parts-1), then one task
      // per volume written (an error is that of the first volume in order).
      // With the lists at the end, a volume's digest waits for its list.
      for (int v = 1; v <= parityCount_ && !listsAtEnd_; ++v) {
        digests_->Add(static_cast<std::size_t>(v), e_.parity_.ParityRow(v), length);
      }
      const auto parts = static_cast<std::size_t>(workers.Threads());
      workers.ForEach(
          parts + static_cast<std::size_t>(parityCount_),
          [&](std::size_t task) {
            if (task < parts) {
              digests_->Run(task, parts);
              return;
            }
            const int v = static_cast<int>(task - parts) + 1;
            volumes_[v].file->WriteAt(m_.DataOffset + pos,
                                      std::span(e_.parity_.ParityRow(v), length));
          },
          events);
    }
    e_.Report(record);  // every byte read
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
          e_.env_.Identity(e.path, /*followLink=*/true) != ListedStamp(k).identity) {
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
    for (int n = 1; n <= parityCount_; ++n) volumes_[n].file->StartFlush();
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
        HashJobs(jobs, PoolHashOptions(Workers(), [this] { e_.KeepResponsive(); }));
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

  // Control digests, then every volume takes its name, all or none.
  void Finish() {
    for (int n = 0; n <= parityCount_; ++n) {
      VolumeOut& vol = volumes_[n];
      e_.Report(VolumeStep(ProgressStep::kWritingChecksums, n, vol.name));
      vol.file->WriteAt(kOffControl, controls_[static_cast<std::size_t>(n)]);
    }
    // Every volume on disk before any takes its name; a stop is heard
    // between them.
    for (VolumeOut& vol : volumes_) {
      e_.StopPoint();
      vol.file->Flush();
    }
    std::vector<ReplacingWriter*> writers;
    for (VolumeOut& vol : volumes_) writers.push_back(vol.file.get());
    CommitTogether(e_.env_, writers);
  }

 private:
  std::size_t SourceStream(int k) const { return static_cast<std::size_t>(parityCount_ + 1 + k); }

  // The action's workers, as many as the parity pass can use.
  WorkerPool& Workers() {
    return e_.Pool(static_cast<std::size_t>(std::max(m_.ParityFileCount, parityCount_)));
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

  Engine& e_;
  SetModel& m_;
  int parityCount_;
  bool listsAtEnd_;
  std::optional<StreamDigests> digests_;
  std::vector<VolumeOut> volumes_;
  std::vector<md5digest> controls_;  // by volume
  std::vector<std::unique_ptr<File>> sources_;
  std::vector<FileStamp> listed_;  // by ParityFileTable slot
};

bool Engine::WriteVolumeSet(const std::string& baseName, int parityCount) {
  std::vector<std::string> existing;
  for (int n = 0; n <= std::min(parityCount, kMaxParityVolumes); ++n) {
    const std::string name = VolumeFileName(baseName, n);
    if (env_.Identity(name, /*followLink=*/false)) existing.push_back(name);
  }
  return WriteVolumeSet(baseName, parityCount, existing);
}

bool Engine::WriteVolumeSet(const std::string& baseName, int parityCount,
                            const std::vector<std::string>& mayReplace) {
  const ActionScope scope(*this);
  model_.CompactParityFiles();
  SetWriter writer(*this, parityCount);
  if (writer.Refuses(baseName)) return false;
  // The files being protected stay whatever their names look like.
  std::vector<std::string> listed;
  for (int i = 0; i < model_.FileCount; ++i) listed.push_back(BareName(model_.FileTable[i].path));
  RemoveAbandonedTemporaryFiles(env_, FolderOf(baseName), listed);
  parity_.SetupParity();

  writer.ComputeSetValues();
  writer.StartVolumes(baseName, mayReplace);
  writer.DigestListedOnly();
  writer.OpenSources();
  writer.WriteParity();
  writer.ProveSources();
  writer.WriteLists();
  try {
    writer.Finish();
  } catch (const NameTakenMeanwhile& taken) {
    // Another create of the same name, most likely: its set stays whole,
    // and this one's temporary files go with the writer.
    ui_.HideProgress();
    ui_.Message(CreatedMeanwhileText(taken.Name()));
    return false;
  }
  digestsPending_ = false;
  ui_.HideProgress();
  return true;
}

}  // namespace tarvel
