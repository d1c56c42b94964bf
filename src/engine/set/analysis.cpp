// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/set/analysis.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "engine/format/format.h"
#include "engine/io/file_digests.h"
#include "engine/io/file_hash_pass.h"
#include "engine/report.h"
#include "engine/set/action.h"
#include "engine/set/create_rules.h"
#include "engine/set/run_in_order.h"
#include "platform/language.h"

namespace tarvel {
namespace {

// A description or checksum file below this size is offered for the CRC list only.
constexpr std::int64_t kSmallFileLimit = 65535;
constexpr std::array<std::string_view, 6> kSmallFileExtensions = {".NFO", ".SFV", ".DIZ",
                                                                  ".TXT", ".CSV", ".MD5"};

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
  return TrFill(
      "The file %s cannot be protected: its name holds a backslash or a control character, "
      "which a file list cannot hold. Rename the file first.",
      {PrintableText(path)});
}

// The steps both ways of analysing share: the choice refused or the model
// started, a file entered under its name, a file given its size (the
// empty-file message, the small-file rule, the totals), and the end.
class Analyser {
 public:
  Analyser(Action& action, const std::vector<std::string>& paths)
      : action_(action), m_(action.model), paths_(paths) {}

  [[nodiscard]] bool Begin() {
    m_.ResetTables();
    m_.TotalSize = 0;
    m_.BiggestFileSize = 0;
    if (paths_.size() < kFewestSetFiles || paths_.size() > kMostSetFiles) {
      action_.ui.Message(FileCountRefusal());
      return false;
    }
    // A name a file list cannot hold would make a set that no check reads.
    for (const std::string& path : paths_) {
      if (!IsListableName(BareName(path))) {
        action_.ui.Message(UnlistableNameText(path));
        return false;
      }
    }
    m_.FileCount = static_cast<std::int32_t>(paths_.size());
    analysis_.stamps.assign(paths_.size(), FileStamp{});
    return true;
  }

  void Enter(std::size_t i) {
    fileentry& e = m_.FileTable[i];
    e.status = 1;
    e.path = paths_[i];
    e.name = BareName(paths_[i]);
    e.entrysize = EntrySizeFor(e.name);
    e.crcok = 1;
    e.present = 1;
  }

  void Size(std::size_t i, std::int64_t size, const FileStamp& stamp) {
    fileentry& e = m_.FileTable[i];
    e.filesize = size;
    analysis_.stamps[i] = stamp;
    if (e.filesize == 0) {
      accepted_ = false;
      action_.ui.Message(TrFill("Error reading %s, or filesize is zero.", {e.path}));
      e.crcok = 0;
      e.present = 0;
    }
    if (IsSmallFileExtension(e.name) && e.filesize < kSmallFileLimit &&
        !action_.ui.AskInclude(e.name, e.filesize)) {
      e.status = 0;
    }
    if (e.InParity()) {
      anyInParity_ = true;
      m_.TotalSize += e.filesize;
      if (e.filesize > m_.BiggestFileSize) m_.BiggestFileSize = e.filesize;
    }
  }

  [[nodiscard]] std::optional<Analysis> End() {
    if (accepted_ && !anyInParity_) {
      action_.ui.Message(kNoFileInParityText);
      accepted_ = false;
    }
    if (!accepted_) return std::nullopt;
    return std::move(analysis_);
  }

  Analysis& Result() { return analysis_; }

 private:
  Action& action_;
  SetModel& m_;
  const std::vector<std::string>& paths_;
  Analysis analysis_;
  bool accepted_ = true;
  bool anyInParity_ = false;
};

// One pass reads every file once for its size and both digests, all files
// at once; the files are shown, asked about and counted in list order as
// their reading ends, exactly as if they were read one after another.
void ReadFiles(Action& action, const std::vector<std::string>& paths, Analyser& analyser) {
  SetModel& m = action.model;
  std::vector<FileHashJob> jobs(paths.size());
  std::vector<std::string> names;
  std::vector<std::int64_t> sizes;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    jobs[i] = {paths[i], 0, -1, /*mustOpen=*/true};
    names.push_back(BareName(paths[i]));
    sizes.push_back(SizeOrZero(action.env, paths[i]));
  }
  const ItemProgress progress(ProgressStep::kAnalysing, names, sizes,
                              [&](int i) { return i * 100 / (m.FileCount - 1); });
  FileHashPass pass(action.env, std::move(jobs), action.Pool(paths.size()));
  ItemsInOrder items;
  items.count = paths.size();
  items.jobOf = [](std::size_t i) { return static_cast<int>(i); };
  items.reached = [&](std::size_t i) { analyser.Enter(i); };
  items.done = [&](std::size_t i) {
    pass.ThrowError(i);
    // The size listed is exactly what was digested; a file that grew,
    // shrank or was written to while it was read has no one content.
    const FileHashResult& r = pass.Result(i);
    if (r.hashed != r.opening.size || r.ending != r.opening) {
      throw FileError(FileChangedText(m.FileTable[i].path));
    }
    analyser.Size(i, r.hashed, r.opening);
  };
  RunInOrder(action, pass, progress, items);
  for (int i = 0; i < m.FileCount; ++i) {
    m.FileTable[i].md5whole = pass.Result(i).whole;
    m.FileTable[i].md5head = pass.Result(i).head;
  }
  action.ui.HideProgress();
}

// Each file is opened for its stamp, as the analysis opens it, so that a
// file that cannot be opened fails here with the same error.
void SizeFiles(Action& action, const std::vector<std::string>& paths, Analyser& analyser) {
  for (std::size_t i = 0; i < paths.size(); ++i) {
    action.StopPoint();
    analyser.Enter(i);
    const FileStamp stamp = action.env.OpenRead(paths[i])->Stamp();
    analyser.Size(i, stamp.size, stamp);
  }
  analyser.Result().digestsPending = true;
}

}  // namespace

std::optional<Analysis> AnalyseFiles(Action& action, const std::vector<std::string>& paths,
                                     bool onePass) {
  Analyser analyser(action, paths);
  if (!analyser.Begin()) return std::nullopt;
  if (onePass) {
    SizeFiles(action, paths, analyser);
  } else {
    ReadFiles(action, paths, analyser);
  }
  return analyser.End();
}

}  // namespace tarvel
