// Creating a volume set: analysing the chosen files, then writing the main
// volume and the parity volumes.
//
// Volumes are written in one sweep that keeps every volume open: headers and
// file lists first, then the parity data appended pass by pass, then each
// volume's control digest, computed while its bytes were written (the same
// bytes md5from32 would read back).  Each volume is written under a hidden
// temporary name and renamed into place when all of them are complete.
// Sources are read straight into the parity rows, one large sequential read
// per file and pass.

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "engine/file_digests.h"
#include "engine/format.h"
#include "engine/replacing_writer.h"
#include "engine/worker_pool.h"

namespace tarvel {
namespace {

constexpr int kMaxSetFiles = 250;
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

std::string ShorterThanAnalysedText(const std::string& path) {
  return "The file " + path +
         " has become shorter or could not be read completely since it was analysed. "
         "The volumes written are incomplete.";
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

bool Engine::AnalyseFiles(const std::vector<std::string>& paths) {
  SetModel& m = model_;
  m.ResetTables();
  m.TotalSize = 0;
  m.BiggestFileSize = 0;
  if (paths.size() < 2 || paths.size() > kMaxSetFiles) {
    ui_.Message("Only 2 - 250 files are supported.");
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
  bool result = true;
  bool anyInParity = false;

  ui_.ShowProgress();
  // One pass reads every file once for its size and both digests, all files
  // at once; the files are shown, asked about and counted in list order as
  // their reading ends, exactly as if they were read one after another.
  std::vector<FileHashJob> jobs(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) jobs[i] = {paths[i], 0, -1, /*mustOpen=*/true};
  FileHashPass pass(env_, std::move(jobs), threads_);
  StepsInOrder steps(
      paths.size(),
      [&](std::size_t i) {
        fileentry& e = m.FileTable[i];
        e.status = 1;
        e.path = paths[i];
        e.name = BareName(paths[i]);
        e.entrysize = EntrySizeFor(e.name);
        e.crcok = 1;
        e.present = 1;
        ui_.SetProgressText("Analyzing " + e.name);
        ui_.SetProgressPercent(static_cast<int>(i) * 100 / (m.FileCount - 1));
        ui_.ProcessEvents();
      },
      [&](std::size_t i) { return pass.Over(i); },
      [&](std::size_t i) {
        pass.ThrowError(i);
        fileentry& e = m.FileTable[i];
        e.filesize = pass.Result(i).size;
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
      },
      [&] { ui_.ProcessEvents(); });
  pass.Run([&] { steps.Advance(); });
  steps.Complete();
  for (int i = 0; i < m.FileCount; ++i) {
    m.FileTable[i].md5whole = pass.Result(i).whole;
    m.FileTable[i].md5head = pass.Result(i).head;
  }
  ui_.HideProgress();

  if (result && !anyInParity) {
    ui_.Message(kNoFileInParityText);
    result = false;
  }
  return result;
}

bool Engine::WriteVolumeSet(const std::string& baseName, int parityCount) {
  SetModel& m = model_;
  m.CompactParityFiles();
  const int files = m.ParityFileCount;
  if (files == 0) {
    ui_.Message(kNoFileInParityText);
    return false;
  }
  if (files > kMaxParityFiles || parityCount < 1 || parityCount > kMaxParityVolumes) {
    ui_.Message("A set can have at most " + std::to_string(kMaxParityFiles) +
                " files in parity and 1 to " + std::to_string(kMaxParityVolumes) +
                " parity volumes.");
    return false;
  }
  // A volume replaces any file of its name; that must never be one of the
  // files being protected, whose data would be lost.  Files are compared by
  // where they live, not by how their paths are spelled (a folder reached
  // through a link, a link to a file of the set).
  std::vector<FileIdentity> protectedFiles;
  for (int i = 0; i < m.FileCount; ++i) {
    for (bool follow : {true, false}) {
      if (auto id = env_.Identity(m.FileTable[i].path, follow)) protectedFiles.push_back(*id);
    }
  }
  for (int n = 0; n <= parityCount; ++n) {
    const std::string name = VolumeFileName(baseName, n);
    for (bool follow : {true, false}) {
      const auto id = env_.Identity(name, follow);
      if (id &&
          std::find(protectedFiles.begin(), protectedFiles.end(), *id) != protectedFiles.end()) {
        ui_.Message("The volume " + PrintableText(name) +
                    " would replace a file of the set. Choose another base name.");
        return false;
      }
    }
  }
  // The files being protected stay whatever their names look like.
  std::vector<std::string> listed;
  for (int i = 0; i < m.FileCount; ++i) listed.push_back(BareName(m.FileTable[i].path));
  RemoveAbandonedTemporaryFiles(env_, FolderOf(baseName), listed);
  parity_.SetupParity();

  std::vector<std::uint8_t> digests;
  digests.reserve(16 * static_cast<std::size_t>(files));
  for (int k = 0; k < files; ++k) {
    const md5digest& d = m.ParityFileTable[k].md5whole;
    digests.insert(digests.end(), d.begin(), d.end());
  }
  m.SetHash = md5buffer(digests);
  m.FileListSize = 0;
  for (int i = 0; i < m.FileCount; ++i) m.FileListSize += m.FileTable[i].entrysize;
  m.FileListOffset = kHeaderSize;
  m.DataOffset = m.FileListOffset + m.FileListSize;
  m.DataSize = m.BiggestFileSize;

  // Headers and file lists.
  const std::vector<std::uint8_t> list = EncodeFileList(m);
  std::vector<VolumeOut> volumes(parityCount + 1);
  // Each volume's digest of its bytes from offset 32 on, taken as they are
  // written; the volumes advance side by side in the multi-buffer MD5.
  StreamDigests controls(static_cast<std::size_t>(parityCount) + 1);
  ui_.SetProgressText("Writing headers...");
  ui_.ShowProgress();
  for (int n = 0; n <= parityCount; ++n) {
    ui_.SetProgressPercent(n * 100 / parityCount);
    ui_.ProcessEvents();
    VolumeOut& vol = volumes[n];
    vol.name = VolumeFileName(baseName, n);
    vol.file = std::make_unique<ReplacingWriter>(env_, vol.name, /*keepDigests=*/false);

    VolumeHeader h;
    h.control = m.SetHash;  // placeholder until the digest of the finished volume is known
    h.setHash = m.SetHash;
    h.volumeNumber = static_cast<std::uint64_t>(n);
    h.fileCount = static_cast<std::uint64_t>(m.FileCount);
    h.fileListOffset = static_cast<std::uint64_t>(m.FileListOffset);
    h.fileListSize = static_cast<std::uint64_t>(m.FileListSize);
    h.dataOffset = static_cast<std::uint64_t>(m.DataOffset);
    h.dataSize = n == 0 ? 0 : static_cast<std::uint64_t>(m.BiggestFileSize);
    const std::array<std::uint8_t, kHeaderSize> header = EncodeHeader(h);

    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), list.begin(), list.end());
    vol.file->WriteAt(0, bytes);
    controls.Add(static_cast<std::size_t>(n), bytes.data() + kOffSetHash, bytes.size() - kOffSetHash);
    controls.Run();
  }

  // Parity data, in passes over one chunk of every file.
  ui_.SetProgressText("Writing parity data...");
  ui_.SetProgressPercent(0);
  ui_.ProcessEvents();
  std::vector<std::unique_ptr<File>> sources(files);
  for (int k = 0; k < files; ++k) sources[k] = env_.OpenRead(m.ParityFileTable[k].path);
  WorkerPool workers(threads_);
  int shown = 0;
  for (std::int64_t pos = 0; pos < m.BiggestFileSize; pos += kChunkSize) {
    const int percent = static_cast<int>(pos * 100 / m.BiggestFileSize);
    if (percent != shown) {
      ui_.SetProgressPercent(percent);
      shown = percent;
    }
    // Every chunk, so the windows stay painted however large the files are
    // (the front end decides how often that costs anything).
    ui_.ProcessEvents();
    // Every row is written in full (data, then zeros past the file's end),
    // so the blocks need no clearing between passes.  The rows are read on
    // all threads; an error is that of the first file in order that failed.
    workers.ForEach(static_cast<std::size_t>(files), [&](std::size_t k) {
      const fileentry& e = m.ParityFileTable[k];
      const int r = static_cast<int>(k) + 1;
      const std::int64_t want = std::clamp<std::int64_t>(e.filesize - pos, 0, kChunkSize);
      if (want > 0 && sources[k]->ReadAt(pos, parity_.DataRow(r), static_cast<std::size_t>(want)) !=
                          static_cast<std::size_t>(want)) {
        throw FileError(ShorterThanAnalysedText(e.path));
      }
      parity_.ClearDataRowFrom(r, static_cast<int>(want));
    });
    parity_.ComputeParity(files, parityCount);
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::int64_t>(kChunkSize, m.BiggestFileSize - pos));
    // The parity rows go to the volumes while their digests are taken, the
    // digests split among the threads (tasks 0 .. parts-1), then one task
    // per volume written (an error is that of the first volume in order).
    for (int v = 1; v <= parityCount; ++v) {
      controls.Add(static_cast<std::size_t>(v), parity_.ParityRow(v), length);
    }
    const auto parts = static_cast<std::size_t>(workers.Threads());
    workers.ForEach(parts + static_cast<std::size_t>(parityCount), [&](std::size_t task) {
      if (task < parts) {
        controls.Run(task, parts);
        return;
      }
      const int v = static_cast<int>(task - parts) + 1;
      volumes[v].file->WriteAt(m.DataOffset + pos, std::span(parity_.ParityRow(v), length));
    });
  }
  sources.clear();

  // Control digests.
  for (int n = 0; n <= parityCount; ++n) {
    VolumeOut& vol = volumes[n];
    ui_.SetProgressText("Creating checksum for " + vol.name);
    ui_.SetProgressPercent(n * 100 / parityCount);
    ui_.ProcessEvents();
    vol.file->WriteAt(kOffControl, controls.Whole(static_cast<std::size_t>(n)));
  }
  // Only complete volumes take the names of the set: every one is on disk
  // before the first replaces a volume of the previous set, so a full disk
  // or an interruption up to here leaves that set as it was.
  for (VolumeOut& vol : volumes) vol.file->Flush();
  for (VolumeOut& vol : volumes) vol.file->Commit();
  ui_.HideProgress();
  return true;
}

}  // namespace tarvel
